"""The search's six inputs and the rescue spectrum generation's four are read at once while their
readers are the module's own: what a driver sees is what reading them one after the other gives
(the first error in reading order, the archive's printed names, the readers' and the protein map's
calls in their order)."""
import collections
import io
import pathlib
import shutil
import sys
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
    elif path.suffix == ".tsv":
        lines = path.read_text().splitlines(keepends=True)
        # A row the reader accepts (High, a marked lysine), its MH+ no number.
        fields = [r.split("\t") for r in lines[1:]]
        row = next(f for f in fields if f[1].strip('"') == "High" and "k" in f[4].strip('"')[:-1])
        path.write_text("".join(lines) + "\t".join(row[:14] + ["x"] + row[15:]))
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
    """The search's and the rescue's arguments on a copy of the fraction whose archive has a member
    the reader skips (and prints)."""
    folder = tmp_path / "f"
    shutil.copytree(fraction.folder, folder)
    with zipfile.ZipFile(folder / "ms1.dta.zip", "a") as z:
        z.writestr("notes.txt", "skipped, and printed")
    args = make_fraction.driver_arguments(folder)
    return args["find_XL_from_mgf"], args[RESCUE]


@pytest.mark.parametrize("bad", [
    SEARCH_ORDER, ["MS2_file_path"], ["msn_1_MS3_path", "MS2_file_path"], ["PD_result_path", "MS3_file_path"],
    ["MS2_PD_result_path", "MS2_file_path"], ["MS1_file_path", "MS2_file_path"], ["MS3_file_path", "msn_1_MS3_path"],
])
def test_search_inputs_bad_at_once_fail_as_one_after_the_other(mod, fraction, tmp_path, capsys, bad):
    args, _ = copied(fraction, tmp_path)
    for name in bad:
        spoil(args[name])
    at_once = outcome(lambda: mod.find_XL_from_mgf(**args), capsys)
    one_after_the_other(mod)
    assert outcome(lambda: mod.find_XL_from_mgf(**args), capsys) == at_once
    (kind, error, message, notes), printed = at_once
    first = args[bad[0]] + ("/bad.999999.999999.0.dta" if bad[0] == "MS1_file_path" else "")
    assert error == "ValueError" and notes[0].startswith("in file '%s', line " % first)
    assert printed == "notes.txt\n"  # the archive's skipped member, also when a later read fails


@pytest.mark.parametrize("bad", [RESCUE_ORDER, ["msn_1_MS3_path"], ["MS2_DeisoDeconv_file_path", "msn_1_MS3_path"],
                                 ["MS3_file_path", "MS2_DeisoDeconv_file_path"]])
def test_rescue_inputs_bad_at_once_fail_as_one_after_the_other(mod, fraction, tmp_path, capsys, bad):
    _, args = copied(fraction, tmp_path)
    args["spec_file"] = str(tmp_path / "rescue.mgf")
    for name in bad:
        spoil(args[name])
    at_once = outcome(lambda: getattr(mod, RESCUE)(**args), capsys)
    one_after_the_other(mod)
    assert outcome(lambda: getattr(mod, RESCUE)(**args), capsys) == at_once
    assert at_once[0][3] == ["in file '%s', line %d" % (args[bad[0]], len(open(args[bad[0]]).readlines()) - 1)]


def test_a_linker_mass_the_rows_cannot_use_fails_each_export_as_alone(mod, fraction, tmp_path, capsys):
    # Raised where the first accepted row uses it, naming that row's file and line: the MS3
    # search's export, read first, although the other fails as well.
    args, _ = copied(fraction, tmp_path)
    args["linker_Long"] = 2 ** 70
    # The MS3 search's export reaches its first accepted row late: the other export fails first.
    path = pathlib.Path(args["PD_result_path"])
    lines = path.read_text().splitlines(keepends=True)
    unlinked = lines[1].split("\t")
    unlinked[4] = "PEPTIDER"  # no marked lysine: no table accepts it
    path.write_text("".join(lines[:1] + ["\t".join(unlinked)] * 20000 + lines[1:]))
    at_once = outcome(lambda: mod.find_XL_from_mgf(**args), capsys)
    one_after_the_other(mod)
    assert outcome(lambda: mod.find_XL_from_mgf(**args), capsys) == at_once
    assert at_once[0][1] == "OverflowError" and at_once[0][3][0].startswith("in file '%s'" % args["PD_result_path"])


def test_search_inputs_read_at_once_give_the_same_map(mod, fraction, tmp_path, capsys):
    args, _ = copied(fraction, tmp_path)
    at_once = outcome(lambda: mod.find_XL_from_mgf(**args), capsys)
    assert at_once[0][0] == "ok" and at_once[0][1] and at_once[1] == "notes.txt\n"
    # Path-like arguments run code of the driver's in their conversion: read one after the other.
    as_paths = {k: pathlib.Path(v) if k in SEARCH_ORDER else v for k, v in args.items()}
    assert outcome(lambda: mod.find_XL_from_mgf(**as_paths), capsys) == at_once


def test_a_reader_rebound_while_the_archives_names_are_printed_reads_the_rest(mod, fraction, tmp_path, capsys):
    # Printing is the driver's code: what it binds is called by the reads after the archive's.
    args, _ = copied(fraction, tmp_path)
    calls, own = [], mod.read_ms_Mgf

    class Stdout(io.StringIO):
        def write(self, text):
            mod.read_ms_Mgf = lambda path: calls.append(path) or own(path)
            return super().write(text)

    sys.stdout, saved = Stdout(), sys.stdout
    try:
        result = mod.find_XL_from_mgf(**args)
    finally:
        sys.stdout, printed = saved, sys.stdout.getvalue()
    assert printed == "notes.txt\n" and result
    assert calls == [args["MS3_file_path"], args["msn_1_MS3_path"], args["MS2_file_path"]]


@pytest.mark.parametrize("code_in", ["map", "sequences"])
def test_a_protein_map_that_runs_code_is_asked_in_reading_order(mod, fraction, tmp_path, capsys, code_in):
    # A map of the driver's own type, or sequences that are no str, answer through the driver's
    # code, which may do anything: here it binds a reader that the reads after the exports' then
    # call. Both exports ask it, the MS3 search's first, as each read alone asks it, and on the
    # caller's thread.
    args, _ = copied(fraction, tmp_path)
    asked, threads, calls, own = [], set(), [], mod.read_ms_Mgf

    def answering(question):
        asked.append(question)
        threads.add(threading.get_ident())
        mod.read_ms_Mgf = lambda path: calls.append(path) or own(path)

    class Proteins(dict):
        def __contains__(self, accession):
            answering(accession)
            return super().__contains__(accession)

    class Sequence(collections.UserString):
        def __contains__(self, residues):
            answering(residues)
            return super().__contains__(residues)

    def questions(call):
        asked.clear()
        call()
        return list(asked)

    proteins = (Proteins(args["uniprot_dict"]) if code_in == "map" else
                {k: Sequence(v) for k, v in args["uniprot_dict"].items()})
    psm = [args[k] for k in ("linker_Long", "linker_Short", "linker_Long_name_SEQUEST", "linker_Short_name_SEQUEST")]
    each = [questions(lambda p=p: mod.read_PD_PSM_results_tsv_wrapper(args[p], proteins, *psm))
            for p in ("PD_result_path", "MS2_PD_result_path")]
    assert each[0] and calls == []
    mod.read_ms_Mgf = own
    expected = mod.find_XL_from_mgf(**args)
    assert questions(lambda: mod.find_XL_from_mgf(**{**args, "uniprot_dict": proteins})) == each[0] + each[1]
    assert calls == [args["MS3_file_path"], args["msn_1_MS3_path"], args["MS2_file_path"]]
    assert threads == {threading.get_ident()}
    mod.read_ms_Mgf = own
    assert mod.find_XL_from_mgf(**{**args, "uniprot_dict": proteins}) == expected
