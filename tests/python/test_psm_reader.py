"""read_PD_PSM_results_tsv_wrapper and read_PD_PSM_results: the three PSM tables of an export."""
import collections
import csv
import gzip
import io
import random
import types

import pytest

from helpers import psm as ref
from helpers.psm import LINKER, UNIPROT, header, random_table, row, write
from helpers.outcome import outcome, shape


def read(mod, lines, uniprot=None):
    return mod.read_PD_PSM_results(lines, {} if uniprot is None else uniprot, *LINKER)


UNSURE = ("PSM confidence 'Unsure' is none of 'High', 'Medium', 'Low' and the table has no "
          "'Percolator q-Value' column")


def test_reads_of_what_is_missing_insert_it(mod):  # types and key order are the random comparison's
    high, med, _ = read(mod, [header(), row()])
    fresh = high[99]  # a missing scan reads as a new, stored, empty scan entry
    assert fresh == {} and fresh.default_factory is str and 99 in high and 99 not in med
    assert high[10]["nothing"] == "" and "nothing" in high[10]


class Untouchable(dict):
    def __contains__(self, key):
        raise AssertionError("looked up")


@pytest.mark.parametrize("seq, uniprot, kept", [
    ("AEFVEVTkLVTDLTK", Untouchable(), True),
    ("AkDEFk", Untouchable(), True),
    ("LVTDLTk", {"P1": "LVTDLTKMMLVTDLTK"}, False),  # only the first occurrence counts
    ("LVTDLTk", {"P1": "mmmlvtdltk"}, False),
    # a sequence of another type is asked `in`, index() and len() as the host asks them
    ("LVTDLTk", {"P1": ["LVTDLTK"] + ["x"] * 6}, True),
    ("LVTDLTk", {"P1": ["MM", "LVTDLTK"]}, False),
])
def test_lysine_and_c_terminal_rules(mod, seq, uniprot, kept):
    tables = read(mod, [header(), row(seq=seq)], uniprot)
    assert all((10 in t) is kept for t in tables)


def test_uniprot_dict_is_any_mapping_looked_up_by_split_accessions_and_never_written(mod):
    uniprot = collections.defaultdict(str, {"P2": "MMLVTDLTK"})
    tables = read(mod, [header(), row(seq="LVTDLTk", acc="P1; P2")], uniprot)
    assert tables[0][10]["LVTDLTk"]["ptn_accesion"] == ["P1; P2"]  # stored whole
    assert dict(uniprot) == {"P2": "MMLVTDLTK"}  # not even a default-inserting map is written
    assert 10 in read(mod, [header(), row(seq="LVTDLTk")], types.MappingProxyType({"P1": "MMLVTDLTK"}))[0]


def test_selected_pep_comes_after_sequences_stored_before_its_own(mod):
    lines = [header(), row(seq="AkR", ambig="Rejected"), row(seq="BkR", ambig="Rejected"), row(seq="AkR")]
    entry = read(mod, lines)[0][10]
    assert list(entry) == ["pep_seq", "AkR", "BkR", "selected_pep"] and entry["selected_pep"] == ["AkR"]


@pytest.mark.parametrize("linker, expected", [(LINKER, (1000.0 - 2 * 100.5) - 50.25),
                                              ((100, 50, "DSSO_long", "DSSO_short"), 750.0)])
def test_remnant_counts(mod, linker, expected):
    mods = "K2(DSSO_long); K5(DSSO_long); K7(DSSO_short); DSSO_short"
    rec = mod.read_PD_PSM_results([header(), row(mods=mods, mass="1000.0")], {}, *linker)[0][10]["AkDEFR"]
    assert rec["pep_mass"] == expected and type(rec["pep_mass"]) is float


def test_file_errors_name_the_file(mod, tmp_path):
    path = write(tmp_path, header() + row() + row(conf="Unsure"))
    with pytest.raises(ValueError) as e:
        mod.read_PD_PSM_results_tsv_wrapper(path, {}, *LINKER)
    assert str(e.value) == UNSURE and e.value.__notes__ == [f"in file '{path}', line 3"]
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
    ([header(), "10\tHigh\n"], IndexError, "list index out of range", 2),
    (['"' + header()], ValueError, "'First Scan' is not in list", 1),  # only the wrapper removes quotes
    ([header(), row(conf="Unsure")], ValueError, UNSURE, 2),
    ([header(), row(scan="10.0")], ValueError, "invalid literal for int() with base 10: '10.0'", 2),
    ([header(), row(mass="")], ValueError, "could not convert string to float: ''", 2),
    ([header(qval=True), row(qval="")], ValueError, "could not convert string to float: ''", 2),
    # The walks are made one table after the other: the High walk meets the bad mass at line 3
    # before the Medium walk meets line 2, which the Low walk would meet before both.
    ([header(), row(conf="Low", scan="x"), row(conf="Medium", scan="1.5"), row(mass="bad")], ValueError,
     "could not convert string to float: 'bad'", 4),
    ([header(), row(conf="Low", scan="x"), row(conf="Medium", scan="1.5")], ValueError,
     "invalid literal for int() with base 10: '1.5'", 3),
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


@pytest.mark.parametrize("name", ["camprotR_TMT_PSMs_first300.txt.gz", "camprotR_phospho_PSMs_first300.txt.gz"])
def test_real_exports(mod, realdata, tmp_path, name):
    text = gzip.decompress((realdata / name).read_bytes())
    with pytest.raises(ValueError) as e:  # as exported: the first missing column is named
        mod.read_PD_PSM_results_tsv_wrapper(write(tmp_path, text), {}, *LINKER)
    assert str(e.value) == "'Protein Descriptions' is not in list"
    rows = list(csv.reader(io.StringIO(text.decode(), newline=""), delimiter="\t"))
    head = rows[0]
    head[head.index("MHplus in Da")] = "MH+ [Da]"
    acc, seq_at = head.index("Protein Accessions"), head.index("Annotated Sequence")
    rows = [rows[0] + ["Protein Descriptions"]] + [r + ["protein of " + r[acc]] for r in rows[1:]]
    # Sequences whose one marked lysine ends the peptide: make every other one C-terminal.
    uniprot = {}
    for i, r in enumerate(rows[1:]):
        seq = r[seq_at].split(".")[1] if "." in r[seq_at] else r[seq_at]
        uniprot[r[acc].split(";")[0].strip()] = ("MA" + seq.upper()) if i % 2 else (seq.upper() + "GG")
    buf = io.StringIO()
    csv.writer(buf, delimiter="\t", quoting=csv.QUOTE_ALL, lineterminator="\r\n").writerows(rows)
    path, args = write(tmp_path, buf.getvalue()), (uniprot, 229.1629, 0.0, "TMT6plex", "Phospho")
    got = mod.read_PD_PSM_results_tsv_wrapper(path, *args)
    assert shape(got) == shape(ref.read_lines(ref.file_lines(path), *args))
    assert len(got[0]) > 100 and got[0] is not got[2]
