"""The search's six inputs and the rescue spectrum generation's four are read at once while their
readers are the module's own: what a driver sees is what reading them one after the other gives
(the first error in reading order, the archive's printed names, the readers' and the protein map's
calls in their order)."""
import collections
import pathlib
import re
import shutil
import threading
import zipfile

import pytest

import make_fraction

SEARCH_ORDER = ["MS1_file_path", "PD_result_path", "MS2_PD_result_path", "MS3_file_path", "msn_1_MS3_path",
                "MS2_file_path"]
RESCUE = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"
RESCUE_ORDER = ["MS2_file_path", "MS3_file_path", "MS2_DeisoDeconv_file_path", "msn_1_MS3_path"]
BAD_BLOCK = "BEGIN IONS\nTITLE=t\nPEPMASS=1\nCHARGE=2+\nSCANS=999999\n1 x\nEND IONS\n"


@pytest.fixture(scope="module")
def fraction(fraction_factory):
    """Groups of each size, rescued ones, and peptides whose linked lysine ends them (the PSM reader
    asks the protein map about those)."""
    return fraction_factory(seed=11, groups={"four_tier1_high": 3, "four_rescue_tier1": 2, "two_rescue": 2,
                                            "three_scan2_a": 2, "four_cterm": 2, "two_cterm_dropped": 2})


def spoil(path):
    """Makes the input at `path` fail where its reader reaches the end: a member, a row or a block."""
    path = pathlib.Path(path)
    if path.suffix == ".zip":
        with zipfile.ZipFile(path, "a") as z:
            z.writestr("bad.999999.999999.0.dta", "500 2\n1 x\n")
    elif path.suffix == ".tsv":  # a row the reader accepts (High, a marked lysine), its MH+ no number
        row = next(r.split("\t") for r in path.read_text().splitlines(keepends=True)[1:]
                   if r.split("\t")[1].strip('"') == "High" and "k" in r.split("\t")[4].strip('"')[:-1])
        path.write_text(path.read_text() + "\t".join(row[:14] + ["x"] + row[15:]))
    else:
        with open(path, "a") as f:
            f.write(BAD_BLOCK)


def outcome(call, capsys):
    """The error's type, message and notes, or the result; and what was printed."""
    try:
        result = call()
        got = ("ok", None if result is None else list(result.items()))
    except Exception as e:  # noqa: BLE001 - the error is what is compared
        got = ("error", type(e).__name__, str(e), getattr(e, "__notes__", None))
    return got, capsys.readouterr().out


def one_after_the_other(mod):
    """A reader bound in the module's place, here the module's own behind a function, is called by
    name, input after input: the module then reads one after the other."""
    own = mod.read_ms_Mgf
    mod.read_ms_Mgf = lambda path: own(path)


def copied(fraction, tmp_path):
    """The driver's arguments by function on a copy of the fraction whose archive has a member the
    reader skips (and prints)."""
    folder = tmp_path / "f"
    shutil.copytree(fraction.folder, folder)
    with zipfile.ZipFile(folder / "ms1.dta.zip", "a") as z:
        z.writestr("notes.txt", "skipped, and printed")
    return make_fraction.driver_arguments(folder)


@pytest.mark.parametrize("function, bad", [
    ("find_XL_from_mgf", SEARCH_ORDER), ("find_XL_from_mgf", ["msn_1_MS3_path", "MS2_file_path"]),
    ("find_XL_from_mgf", ["PD_result_path", "MS3_file_path"]), ("find_XL_from_mgf", ["MS3_file_path", "msn_1_MS3_path"]),
    (RESCUE, RESCUE_ORDER), (RESCUE, ["MS2_DeisoDeconv_file_path", "msn_1_MS3_path"])])
def test_inputs_bad_at_once_fail_as_one_after_the_other(mod, fraction, tmp_path, capsys, function, bad):
    args = copied(fraction, tmp_path)[function]
    for name in bad:
        spoil(args[name])
    at_once = outcome(lambda: getattr(mod, function)(**args), capsys)
    one_after_the_other(mod)
    assert outcome(lambda: getattr(mod, function)(**args), capsys) == at_once
    (kind, error, message, notes), printed = at_once
    first = args[bad[0]] + ("/bad.999999.999999.0.dta" if bad[0] == "MS1_file_path" else "")
    assert error == "ValueError" and notes[0].startswith("in file '%s', line " % first)
    # the archive's skipped member, also when a later read fails
    assert printed == ("notes.txt\n" if function != RESCUE else "")


def test_a_scan_read_again_takes_its_later_peaks_as_one_after_the_other(mod, fraction, tmp_path):
    args = copied(fraction, tmp_path)[RESCUE]
    deconv, out = pathlib.Path(args["MS2_DeisoDeconv_file_path"]), pathlib.Path(args["spec_file"])

    def rescue():
        getattr(mod, RESCUE)(**args)
        return out.read_bytes()

    before = rescue()
    # Every block of the parent spectra again, its intensities changed: the rescue spectra show them.
    deconv.write_text(deconv.read_text() + re.sub(r"(?m)^([0-9]\S*) ", r"\1 1", deconv.read_text()))
    at_once = rescue()
    one_after_the_other(mod)
    assert before != at_once == rescue()


def test_driver_code_among_the_reads_runs_by_name_on_the_callers_thread(mod, fraction, tmp_path):
    # The map's sequences are of the driver's own type, answering through its code, which may do
    # anything: here it binds a reader that the reads after the exports' then call.
    args = copied(fraction, tmp_path)["find_XL_from_mgf"]
    expected = mod.find_XL_from_mgf(**args)
    asked, threads, calls, own = [], set(), [], mod.read_ms_Mgf

    class Sequence(collections.UserString):
        def __contains__(self, peptide):
            asked.append(peptide)
            threads.add(threading.get_ident())
            mod.read_ms_Mgf = lambda path: calls.append(path) or own(path)
            return peptide in self.data

    proteins = {k: Sequence(v) for k, v in args["uniprot_dict"].items()}
    assert mod.find_XL_from_mgf(**{**args, "uniprot_dict": proteins}) == expected
    assert asked and threads == {threading.get_ident()}
    assert calls == [args["MS3_file_path"], args["msn_1_MS3_path"], args["MS2_file_path"]]
    # The module's own reader again, and a rescale_qval of the driver's: called by name, row by row.
    mod.read_ms_Mgf, mod.rescale_qval, asked[:] = own, lambda q, own_q=mod.rescale_qval: asked.append(q) or own_q(q), []
    assert mod.find_XL_from_mgf(**args) == expected and asked
