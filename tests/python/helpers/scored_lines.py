"""Builders of cross-link records and scored lines for the result-filtering tests."""


def record(pep_a="PEPA", pep_b="PEPB", *, mh="1000.0", cls="High", ids_a="P1", desc_a="d1",
           ids_b="P2", desc_b="d2", remarks=""):
    """A 13-field cross-link record as the search writes it."""
    return "\t".join([cls, "HHHH", "10:11:12:13,9", mh, "3", "334.0", pep_a, ids_a, desc_a,
                      pep_b, ids_b, desc_b, remarks])


def line(score, pep_a="PEPA", pep_b="PEPB", *, count=1, fraction="F1", **fields):
    """A 16-field scored line: score, CSM count, record, fraction."""
    return f"{score}\t{count}\t{record(pep_a, pep_b, **fields)}\t{fraction}"


def decoy(score, pep_a, pep_b, **fields):
    return line(score, pep_a, pep_b, ids_a="random_P9", **fields)

# K with six decimals: the peptide masses' rounding to five shows in every comparison.
MASS = {"A": 71.03711, "G": 57.02146, "K": 128.094963, "P": 97.05276, "E": 129.04259, "R": 156.10111}
MOD = {"mm_H": 1.007825, "mm_O": 15.994915}
LINKER = 158.0038


def expected_mh(pep_a, pep_b, mass=MASS, mod=MOD, linker=LINKER):
    def pep(seq):
        s = 0
        for aa in seq:
            s = s + mass[aa]
        return round(s + (mod["mm_H"] * 2 + mod["mm_O"] + mod["mm_H"]), 5)
    return ((pep(pep_a) + pep(pep_b)) + linker) - mod["mm_H"]
