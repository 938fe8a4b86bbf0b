import os
import stat

import pytest

from helpers.scored_lines import line

HEADER = ("Score\t#CSMs\tScan_no(MS3a1:MS3a2:MS3b1:MS3b2,MS2)\tXL MH+\tz\tXL m/z\tPeptide A\t"
          "Protein_A id\tProtein_a description\tPeptide_B\tProtein_B id\tProtein_b description\t"
          "Remarks\tFraction\n")


def written(mod, tmp_path, lines):
    path = tmp_path / "out.tsv"
    mod.write_XL(lines, str(path))
    return path.read_bytes().decode("utf-8")


def test_exact_bytes_also_past_the_row_buffer(mod, tmp_path):
    assert written(mod, tmp_path, []) == HEADER
    # Some 200 kB, more than the 64 KiB the rows are gathered in; compared line by line, as a diff
    # of texts this long would take minutes.
    lines = [line(i, "TKGDR;TKGER", "KVLEÄ", count=3, remarks="x " * (i * 37 % 2000)) + "\n" for i in range(100)]
    rows = ["\t".join(f[:2] + f[4:]) + "\n" for f in (l.rstrip("\n").split("\t") for l in lines)]
    got, want = written(mod, tmp_path, lines).split("\n"), (HEADER + "".join(rows)).split("\n")
    assert len(got) == len(want) and [i for i, (g, w) in enumerate(zip(got, want)) if g != w] == []


@pytest.mark.parametrize("src, row", [
    ("a\tb\tc\td\te", "a\tb\te"),
    ("a", "a\t"),
    ("  \r\n", "\t"),
    (" a b\tc\tx\ty\t\tlast \n", "a b\tc\t\tlast"),
    # empty edge fields stay columns
    ("a\tb\tc\td\te\t\t", "a\tb\te\t\t"),
    ("\tb\tc\td\te", "\tb\te"),
    ("a\tb\tc\td\te\tf\tg\th\ti\tj\tk\tl\tm\tn\to\tp\tq", "a\tb\te\tf\tg\th\ti\tj\tk\tl\tm\tn\to\tp\tq"),
])
def test_rows(mod, tmp_path, src, row):
    assert written(mod, tmp_path, [src]) == HEADER + row + "\n"


@pytest.fixture
def old_table(tmp_path):
    path = tmp_path / "table.tsv"
    path.write_text("old table\n")
    os.chmod(path, 0o640)
    return path


@pytest.mark.parametrize("lines, exc", [
    ([line(1), 5], AttributeError),
    ([line(1), line(2).encode()], TypeError),
    ([line(1), "bad \ud800 text"], UnicodeEncodeError),
    (7, TypeError),
])
def test_bad_input_leaves_the_old_table_and_creates_no_new_one(mod, old_table, lines, exc):
    for path in (old_table, old_table.parent / "new.tsv"):
        with pytest.raises(exc):
            mod.write_XL(lines, str(path))
    assert old_table.read_text() == "old table\n"
    assert os.listdir(old_table.parent) == ["table.tsv"]


def test_replacement_through_a_link_keeps_the_mode(mod, old_table):
    link = old_table.parent / "link.tsv"
    link.symlink_to(old_table.name)
    mod.write_XL(XL_list=[line(1)], file_path=link)
    assert link.is_symlink() and os.readlink(link) == old_table.name
    assert stat.S_IMODE(old_table.stat().st_mode) == 0o640
    assert old_table.read_text().startswith(HEADER)
    assert sorted(os.listdir(old_table.parent)) == ["link.tsv", "table.tsv"]
