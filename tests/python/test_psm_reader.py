"""read_PD_PSM_results_tsv_wrapper and read_PD_PSM_results: the three PSM tables of an export; and
rescale_qval, and the readers calling each other by name through the module namespace."""
import collections
import fractions
import random

import pytest

from helpers import psm as ref
from helpers.psm import LINKER, UNIPROT, header, random_table, row, write
from helpers.outcome import outcome, shape


def read(mod, lines, uniprot=None):
    return mod.read_PD_PSM_results(lines, {} if uniprot is None else uniprot, *LINKER)


def test_entry_of_a_scan_and_reads_of_what_is_missing(mod):  # types and key order are the random comparison's
    mods = "K2(DSSO_long); K5(DSSO_long); K7(DSSO_short); DSSO_short"
    lines = [header(), row(seq="AkR", ambig="Rejected"), row(seq="BkR", ambig="Rejected"), row(seq="AkR", mods=mods)]
    high, med, _ = mod.read_PD_PSM_results(lines, {}, 100, 50, *LINKER[2:])
    entry = high[10]
    assert list(entry) == ["pep_seq", "AkR", "BkR", "selected_pep"] and entry["selected_pep"] == ["AkR"]
    assert entry["AkR"]["pep_mass"] == 1000.5 - 250 and type(entry["AkR"]["pep_mass"]) is float
    fresh = high[99]  # a missing scan reads as a new, stored, empty scan entry
    assert fresh == {} and fresh.default_factory is str and 99 in high and 99 not in med
    assert entry["nothing"] == "" and list(entry)[-1] == "nothing"


class Untouchable(dict):
    def __contains__(self, key):
        raise AssertionError("looked up")


@pytest.mark.parametrize("seq, uniprot, kept", [
    ("AEFVEVTkLVTDLTK", Untouchable(), True),
    ("LVTDLTk", {"P1": "LVTDLTKMMLVTDLTK"}, False),  # only the first occurrence counts
    # a sequence of another type is asked `in`, index() and len() as the host asks them
    ("LVTDLTk", {"P1": ["LVTDLTK"] + ["x"] * 6}, True),
    ("LVTDLTk", {"P1": ["MM", "LVTDLTK"]}, False),
    ("azMLk", {"P1": "GGAZMLK"}, True),  # every lower-case letter of the peptide is upper-cased, a to z
    ("LVTDLTk", {"P1": "mlvtdltk"}, False),  # the protein is not
])
def test_lysine_and_c_terminal_rules(mod, seq, uniprot, kept):
    tables = read(mod, [header(), row(seq=seq)], uniprot)
    assert all((10 in t) is kept for t in tables)


def test_uniprot_dict_is_any_mapping_looked_up_by_split_accessions_and_never_written(mod):
    uniprot = collections.defaultdict(str, {"P2": "MMLVTDLTK"})
    tables = read(mod, [header(), row(seq="LVTDLTk", acc="P1; P2")], uniprot)
    assert tables[0][10]["LVTDLTk"]["ptn_accesion"] == ["P1; P2"]  # stored whole
    assert dict(uniprot) == {"P2": "MMLVTDLTK"}  # not even a default-inserting map is written


def test_file_errors_name_the_file(mod, tmp_path):
    path = write(tmp_path, header() + row() + row(conf="Unsure"))
    with pytest.raises(ValueError, match="^PSM confidence 'Unsure' is none of 'High', 'Medium', 'Low' and the table has "
                                         "no 'Percolator q-Value' column$") as e:
        mod.read_PD_PSM_results_tsv_wrapper(path, {}, *LINKER)
    assert e.value.__notes__ == [f"in file '{path}', line 3"]
    # Invalid UTF-8 fails before a bad row above it: the whole file is decoded first.
    # Also a character cut by the end of the file after a CR.
    for end, tail in ((b"\n", row(desc="caf\xe9").encode("latin-1")), (b"\r", b"\xe2\x82")):
        path = write(tmp_path, header().encode() + row(scan="x").encode().replace(b"\n", end) + tail)
        with pytest.raises(UnicodeDecodeError) as e:
            mod.read_PD_PSM_results_tsv_wrapper(path, {}, *LINKER)
        assert e.value.__notes__ == [f"in file '{path}', line 3"]


@pytest.mark.parametrize("lines, error, message, line", [
    ([], IndexError, "list index out of range", None),
    ([header().replace("Protein Descriptions", "Descr")], ValueError, "'Protein Descriptions' is not in list", 1),
    ([header(), row(scan="10.0")], ValueError, "invalid literal for int() with base 10: '10.0'", 2),
    # The walks are made one table after the other: the High walk meets the bad mass at line 3
    # before the Medium walk meets line 2, which the Low walk would meet before both.
    ([header(), row(conf="Low", scan="x"), row(conf="Medium", scan="1.5"), row(mass="bad")], ValueError,
     "could not convert string to float: 'bad'", 4),
    # A line that is no text fails at its strip and split, as bytes or as another object.
    ([header().encode()], TypeError, "a bytes-like object is required, not 'str'", None),
    ([header(), bytearray(row().encode())], TypeError, "a bytes-like object is required, not 'str'", None),
    ([header(), 5], AttributeError, "'int' object has no attribute 'strip'", None),
])
def test_errors_and_the_line_they_name(mod, lines, error, message, line):
    with pytest.raises(error) as e:
        read(mod, lines)
    assert str(e.value) == message
    assert getattr(e.value, "__notes__", None) == (None if line is None else [f"in pep_matches, line {line}"])


@pytest.mark.parametrize("seed", range(140))
def test_matches_three_walk_reading(mod, tmp_path, seed):
    rng = random.Random(seed)
    lines = random_table(rng, with_qval=seed % 2 == 0, faults=seed % 3 != 0 or seed >= 120)
    args = (dict(UNIPROT), *LINKER)
    if seed < 120:
        got = outcome(lambda: mod.read_PD_PSM_results(lines, *args))
        assert got == outcome(lambda: ref.read_lines(lines, *args))
    else:  # through a file, quoted half of the time
        path = write(tmp_path, "".join(lines).replace("\t", '"\t"' if seed % 4 else "\t"))
        got = outcome(lambda: mod.read_PD_PSM_results_tsv_wrapper(path, *args))
        assert got == outcome(lambda: ref.read_lines(ref.file_lines(path), *args))


def test_rescale_qval_uses_the_hosts_arithmetic(mod):
    assert shape(mod.rescale_qval(0.01)) == shape(0.99) and shape(mod.rescale_qval(True)) == shape(0.0)
    assert mod.rescale_qval(fractions.Fraction(1, 4)) == fractions.Fraction(3, 4)
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for -: 'str' and 'int'$"):
        mod.rescale_qval("0.1")


def test_rebound_rescale_is_called_only_for_a_q_value_column_also_from_the_wrapper(mod, tmp_path):
    calls = []
    mod.rescale_qval = lambda q: calls.append(q) or ("scaled", q)
    mod.read_PD_PSM_results([header(), row()], {}, *LINKER)
    assert calls == []
    tables = mod.read_PD_PSM_results_tsv_wrapper(write(tmp_path, header(qval=True) + row(qval="0.5")), {}, *LINKER)
    assert calls == [0.5, 0.5, 0.5] and tables[0][10]["AkDEFR"]["qval"] == ("scaled", 0.5)


def test_rebound_rescale_is_called_per_accepted_row_table_by_table(mod):
    calls = []
    mod.rescale_qval = lambda q: calls.append(q) or ("scaled", q)
    lines = [header(qval=True), row(conf="Low", qval="0.3"), row(conf="High", qval="0.1"),
             row(conf="Medium", qval="0.2"), row(conf="High", seq="PEPTIDER", qval="0.9")]
    high, _, all_ = mod.read_PD_PSM_results(lines, {}, *LINKER)
    assert calls == [0.1, 0.1, 0.2, 0.3, 0.1, 0.2]   # High, High and Medium, then every row
    assert high[10]["AkDEFR"]["qval"] == ("scaled", 0.1) and all_[10]["AkDEFR"]["qval"] == ("scaled", 0.2)


def test_rescale_rebound_back_to_the_module_own_mid_read(mod):
    own = mod.rescale_qval   # looked up by name for each row's call
    mod.rescale_qval = lambda q: setattr(mod, "rescale_qval", own) or "first"
    high, med, _ = read(mod, [header(qval=True), row(qval="0.25"), row(scan="11", qval="0.5")])
    assert high[10]["AkDEFR"]["qval"] == "first" and high[11]["AkDEFR"]["qval"] == 0.5
    assert med[10]["AkDEFR"]["qval"] == 0.75


def test_deleted_names_fail_only_when_called(mod, tmp_path):
    del mod.rescale_qval
    assert 10 in read(mod, [header(), row()])[0]
    with pytest.raises(NameError, match="^name 'rescale_qval' is not defined$"):
        read(mod, [header(qval=True), row(qval="0.1")])
    del mod.read_PD_PSM_results
    with pytest.raises(FileNotFoundError):  # the file is read before the call
        mod.read_PD_PSM_results_tsv_wrapper(str(tmp_path / "missing.txt"), {}, *LINKER)
    with pytest.raises(NameError, match="^name 'read_PD_PSM_results' is not defined$"):
        mod.read_PD_PSM_results_tsv_wrapper(write(tmp_path, header()), {}, *LINKER)


def test_wrapper_hands_the_file_lines_to_a_rebound_reader(mod, tmp_path):
    seen, uniprot, result = [], {}, object()  # whatever it returns is returned unchanged
    mod.read_PD_PSM_results = lambda *args: seen.append(args) or result
    path = write(tmp_path, '"a"\t"b"\r\nc"d\rlast')
    assert mod.read_PD_PSM_results_tsv_wrapper(path, uniprot, *LINKER) is result
    (lines, got_uniprot, *linker), = seen
    assert lines == ["a\tb\n", "cd\n", "last"] and got_uniprot is uniprot and tuple(linker) == LINKER
