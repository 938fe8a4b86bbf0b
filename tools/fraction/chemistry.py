"""The chemistry of a synthetic fraction: masses as the system computes them, a random proteome
with its decoys, linked peptides digested from it, and PSMs with their confidences and q-values."""
import bisect

PROTON = 1.007825
OXYGEN = 15.994915
ISOTOPE = 1.003355
LINKER_MASS = 158.0038
LINKER_LONG = 85.9826
LINKER_SHORT = 54.0106
LINKER_DM = round(LINKER_LONG - LINKER_SHORT, 4)
LINKER_DEFICIT = round(LINKER_MASS - LINKER_LONG - LINKER_SHORT, 4)
ARM_MASS = {"short": LINKER_SHORT, "long": LINKER_LONG}
ARM_NAME = {"short": "LinkerShort", "long": "LinkerLong"}
OTHER = {"short": "long", "long": "short"}
PREC_TOL_PPM = 10
FDR_CUTOFF = 5

RESIDUES = {
    "G": 57.02146, "A": 71.03711, "S": 87.03203, "P": 97.05276, "V": 99.06841, "T": 101.04768,
    "C": 103.00919, "L": 113.08406, "I": 113.08406, "N": 114.04293, "D": 115.02694, "Q": 128.05858,
    "K": 128.09496, "E": 129.04259, "M": 131.04049, "H": 137.05891, "F": 147.06841, "R": 156.10111,
    "Y": 163.06333, "W": 186.07931}
MASS_DICT = dict(RESIDUES, k=RESIDUES["K"], m=round(RESIDUES["M"] + OXYGEN, 5))
MOD_DICT = {"mm_H": PROTON, "mm_O": OXYGEN}
# Residue frequencies of a typical proteome, roughly.
ALPHABET = ("A" * 8 + "R" * 5 + "N" * 4 + "D" * 5 + "C" * 2 + "Q" * 4 + "E" * 7 + "G" * 7 + "H" * 2
            + "I" * 5 + "L" * 9 + "K" * 6 + "M" * 2 + "F" * 4 + "P" * 5 + "S" * 7 + "T" * 5 + "W" + "Y" * 3
            + "V" * 6)


def mz_of(mh, z):
    return (mh - PROTON) / z + PROTON


def mh_of(mz, z):
    return (mz - PROTON) * z + PROTON


# ---------------------------------------------------------------------------------------------
# Proteins, peptides and PSMs

class Peptide:
    """A linked peptide: `seq` as the PSM table writes it (linked lysine "k", oxidised "m")."""
    __slots__ = ("seq", "accessions", "descriptions", "mh", "decoy")

    def __init__(self, seq, accessions, descriptions, decoy):
        self.seq, self.accessions, self.descriptions, self.decoy = seq, accessions, descriptions, decoy
        self.mh = sum(MASS_DICT[c] for c in seq) + 3 * PROTON + OXYGEN

    def frag(self, arm):
        return self.mh + (ARM_MASS[arm] if arm else 0.0)

    def mods(self, arm):
        parts = []
        for i, c in enumerate(self.seq):
            if c == "k" and arm:
                parts.append("K%d(%s)" % (i + 1, ARM_NAME[arm]))
            elif c == "m":
                parts.append("M%d(Oxidation)" % (i + 1))
        return "; ".join(parts)


class Proteome:
    """n random target proteins, a reversed decoy "random_<accession>" for each, and the decoys made
    to hold a target peptide (so that a target line carries a decoy identifier)."""

    def __init__(self, rng, n):
        self.rng = rng
        self.targets, self.decoys, self.shared = [], [], []
        for i in range(n):
            seq = "M" + "".join(rng.choice(ALPHABET) for _ in range(rng.randint(150, 450)))
            if rng.random() < 0.3:
                seq += "K"  # ends in a lysine: C-terminal peptides for the reader's C-terminal rule
            acc = "P%05d" % (i + 1)
            desc = "Synthetic protein %d OS=Synthetic organism OX=0 GN=SYN%d" % (i + 1, i + 1)
            self.targets.append(self._entry(acc, desc, seq))
            self.decoys.append(self._entry("random_" + acc, "Decoy of " + desc, seq[::-1]))

    @staticmethod
    def _entry(acc, desc, seq):
        return (acc, desc, seq, [i for i, c in enumerate(seq) if c == "K"],
                [i for i, c in enumerate(seq) if c in "KR"])

    def uniprot(self):
        return {e[0]: e[2] for e in self.targets + self.decoys + self.shared}

    def linked(self, decoy=False, cterm=False, inner_end=False):
        """A peptide with one linked lysine: inside the peptide (a missed cleavage), or its last
        residue at the protein's end (cterm), or its last residue inside the protein (inner_end)."""
        rng = self.rng
        pool = self.decoys if decoy else self.targets
        while True:
            acc, desc, seq, ks, cuts = rng.choice(pool)
            if cterm:
                if seq[-1] != "K":
                    continue
                p = len(seq) - 1
            else:
                if not ks:
                    continue
                p = rng.choice(ks)
                if p >= len(seq) - 1:
                    continue
            i = bisect.bisect_left(cuts, p)
            start = cuts[i - 1] + 1 if i else 0
            if cterm or inner_end:
                end = p
            elif i + 1 < len(cuts):
                end = cuts[i + 1]
            else:
                continue
            plain = seq[start:end + 1]
            if not 6 <= len(plain) <= 24:
                continue
            first = seq.find(plain)
            if cterm and first != len(seq) - len(plain):
                continue
            if inner_end and first + len(plain) == len(seq):
                continue
            text = plain[:p - start] + "k" + plain[p - start + 1:]
            ms = [j for j, c in enumerate(text) if c == "M"]
            if ms and rng.random() < 0.25:
                j = rng.choice(ms)
                text = text[:j] + "m" + text[j + 1:]
            accessions, descriptions = acc, desc
            if not decoy and not cterm and rng.random() < 0.06:
                accessions, descriptions = self._share(plain, acc, desc)
            return Peptide(text, accessions, descriptions, decoy)

    def _share(self, plain, acc, desc):
        """Lists the peptide also under a decoy protein made to hold it."""
        rng = self.rng
        body = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(100, 300)))
        cut = rng.randint(10, len(body) - 10)
        name = "random_S%05d" % (len(self.shared) + 1)
        seq = "M" + body[:cut] + plain + body[cut:]
        self.shared.append(self._entry(name, "Decoy holding a target peptide", seq))
        return acc + "; " + name, desc + "; Decoy holding a target peptide"

    def linear(self):
        """A PSM sequence of a noise scan: half of them without a linked lysine."""
        rng = self.rng
        acc, desc, seq, ks, cuts = rng.choice(self.targets)
        i = rng.randrange(len(cuts) - 1) if len(cuts) > 1 else 0
        start = cuts[i] + 1 if cuts else 0
        text = seq[start:start + rng.randint(6, 18)] or seq[:8]
        if "K" in text and rng.random() < 0.5:
            j = text.index("K")
            text = text[:j] + "k" + text[j + 1:]
        return Peptide(text, acc, desc, False)


class Psm:
    """One PSM row: confidence, q-value, peptide and the remnant it carries, PSM Ambiguity.
    Codes: H (q 0.0001 to 0.0095), H1 (High at q 0.01), M (0.011 to 0.045), M5 (Medium at 0.05), L."""
    __slots__ = ("confidence", "q", "pep", "arm", "ambiguity")

    CODES = {"H": ("High", 1, 95, 10000), "M": ("Medium", 11, 45, 1000), "L": ("Low", 6, 40, 100)}
    FIXED = {"H1": ("High", 0.01), "M5": ("Medium", 0.05)}

    def __init__(self, rng, code, pep, arm, ambiguity="Unambiguous"):
        if code in self.FIXED:
            self.confidence, self.q = self.FIXED[code]
        else:
            self.confidence, lo, hi, scale = self.CODES[code]
            self.q = rng.randint(lo, hi) / scale
        self.pep, self.arm, self.ambiguity = pep, arm, ambiguity

    def qval(self, with_q):
        """The "qval" the reader gives: 1 - q, or the fixed values of a table without q-values."""
        if with_q:
            return 1 - self.q
        return {"High": 0.99, "Medium": 0.95}.get(self.confidence, 0)

