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


def test_exact_bytes(mod, tmp_path):
    full = line(32.0, "TKGDR;TKGER", "KVLEÄ", count=3, remarks="x y") + "\n"
    f = full.rstrip("\n").split("\t")
    assert written(mod, tmp_path, []) == HEADER
    assert written(mod, tmp_path, [full, full]) == HEADER + 2 * ("\t".join(f[:2] + f[4:]) + "\n")


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


@pytest.mark.parametrize("name, exc", [("missing/x.tsv", FileNotFoundError), (".", IsADirectoryError)])
def test_unwritable_path(mod, tmp_path, name, exc):
    with pytest.raises(exc):
        mod.write_XL([line(1)], str(tmp_path / name))
