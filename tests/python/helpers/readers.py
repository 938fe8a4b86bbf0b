"""One small, valid input for each function that reads a file, and the call that reads it: for
tests that hold for every reader (path forms, the collector's state)."""
import warnings
import zipfile

from helpers.psm import LINKER, header, row

MGF = "BEGIN IONS\nTITLE=t.5.5.2\nPEPMASS=500.25 10.0\nCHARGE=2+\nSCANS=5\n100.5 7.0\nEND IONS\n"
PSM = header() + row()


def make_dta_zip(path):
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("x.7.7.0.dta", "500.5 2\n100.5 7.0\n")


# (function name, make(path) writing its input, call(mod, path) reading it)
READERS = [
    ("read_ms_Mgf", lambda p: p.write_text(MGF), lambda mod, p: mod.read_ms_Mgf(p)),
    ("read_ms_DtaZip", make_dta_zip, lambda mod, p: mod.read_ms_DtaZip(p)),
    ("read_PD_PSM_results_tsv_wrapper", lambda p: p.write_text(PSM),
     lambda mod, p: mod.read_PD_PSM_results_tsv_wrapper(p, {}, *LINKER)),
]
READ_MGF, READ_ZIP, READ_PSM = [call for _, _, call in READERS]

def make_zip(path, members, compression=zipfile.ZIP_DEFLATED):
    """An archive of (name, data) members, in order (repeated names allowed); its path."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # duplicate names are meant
        with zipfile.ZipFile(path, "w", compression) as zf:
            for name, data in members:
                zf.writestr(name, data)
    return str(path)
