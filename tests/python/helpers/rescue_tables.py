"""PSM tables for the MS2-search rescue tests, made by the module's reader as a driver gets them."""
from helpers.outcome import shape
from helpers.psm import LINKER, header, row

LINKER_MASS = 158.0
A_MASS, B_MASS = 1100.5, 900.25  # peptide masses (Da) of the pair that matches MS2_MASS
MS2_MASS = A_MASS + B_MASS + LINKER_MASS - 1.007825


def export(mod, *psms):
    """The three tables of one export. A PSM is (scan, sequence, mass[, confidence[, ambiguity]])."""
    def line(scan, seq, mass, conf="High", ambig="Unambiguous"):
        return row(scan=str(scan), seq=seq, mass=str(mass), conf=conf, ambig=ambig)
    return mod.read_PD_PSM_results([header()] + [line(*p) for p in psms], {}, *LINKER)


def shapes(tables):
    """Everything a driver can see of the tables: types, keys in order, values."""
    return [shape(t) for t in tables]


def plain(obj):
    """The same tables as plain dicts at every level."""
    return {k: plain(v) for k, v in obj.items()} if isinstance(obj, dict) else obj
