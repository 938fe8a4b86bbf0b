import os
import stat

import pytest

from helpers.scored_lines import line

HEADER = ("Score\t#CSMs\tScan_no(MS3a1:MS3a2:MS3b1:MS3b2,MS2)\tXL MH+\tz\tXL m/z\tPeptide A\t"
          "Protein_A id\tProtein_a description\tPeptide_B\tProtein_B id\tProtein_b description\t"
          "Remarks\tFraction\n")


def test_exact_bytes_also_past_the_row_buffer(mod, tmp_path):
    # Some 200 kB, more than the 64 KiB the rows are gathered in; the edge cases first.
    lines = ["a", "  \r\n", " a b\tc\tx\ty\t\tlast \n", "a\tb\tc\td\te\t\t", "\tb\tc\td\te"] + [
        line(i, "TKGDR;TKGER", "KVLEÄ", count=3, remarks="x " * (i * 37 % 2000)) + "\n" for i in range(100)]
    rows = ["a\t", "\t", "a b\tc\t\tlast", "a\tb\te\t\t", "\tb\te"] + [
        "\t".join(f[:2] + f[4:]) for f in (l.rstrip("\n").split("\t") for l in lines[5:])]
    path = tmp_path / "out.tsv"
    mod.write_XL(lines, str(path))
    # compared line by line: a diff of texts this long would take minutes
    got = path.read_bytes().decode("utf-8").split("\n")
    assert got[0] + "\n" == HEADER and got[-1] == "" and len(got) == len(rows) + 2
    assert [i for i, (g, w) in enumerate(zip(got[1:], rows)) if g != w] == []


@pytest.fixture
def old_table(tmp_path):
    path = tmp_path / "table.tsv"
    path.write_text("old table\n")
    os.chmod(path, 0o640)
    return path


@pytest.mark.parametrize("lines, exc", [
    ([line(1), 5], AttributeError),
    ([line(1), "bad \ud800 text"], UnicodeEncodeError),
])
def test_bad_input_leaves_the_old_table_and_creates_no_new_one(mod, old_table, lines, exc):
    for path in (old_table, old_table.parent / "new.tsv"):
        with pytest.raises(exc):
            mod.write_XL(lines, str(path))
    assert old_table.read_text() == "old table\n" and os.listdir(old_table.parent) == ["table.tsv"]


def test_replacement_through_a_link_keeps_the_mode(mod, old_table):
    link = old_table.parent / "link.tsv"
    link.symlink_to(old_table.name)  # relative: resolved from the link's folder, not the working one
    old_inode = old_table.stat().st_ino
    mod.write_XL(XL_list=[], file_path=link)
    assert link.is_symlink() and os.readlink(link) == old_table.name
    assert old_table.stat().st_ino != old_inode  # replaced whole, not rewritten in place
    assert stat.S_IMODE(old_table.stat().st_mode) == 0o640 and old_table.read_text() == HEADER
    assert sorted(os.listdir(old_table.parent)) == ["link.tsv", "table.tsv"]
