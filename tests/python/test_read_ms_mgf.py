"""read_ms_Mgf through the module, against a straight reading of the algorithm."""
import collections
import random
import re

import pytest

from helpers.outcome import outcome


def reference_read_mgf(file_path):
    MS_dict = collections.defaultdict(lambda: collections.defaultdict(str))
    title, header, charge, scan_no = "", "", "", 0
    with open(file_path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line == "BEGIN IONS":
                title, header, charge, scan_no = "", "", "", 0
            if line.startswith("TITLE="):
                title = line.split("=")[1]
            if line.startswith("PEPMASS="):
                header = line.split("=")[1].split()[0]
            if line.startswith("CHARGE="):
                value = line.split("=")[1].strip()
                charge = (re.match("[0-9]+", value) or value)[0]  # the leading digits, else the first character
            if line.startswith("SCANS="):
                scan_no = int(line.split("=")[1])
                MS_dict[scan_no]["ion_mass"] = collections.defaultdict(float)
                for key in ("title", "header"):
                    MS_dict[scan_no][key] = MS_dict[scan_no][key] or []  # "" becomes a list
            if title != "" and header != "" and scan_no != 0 and charge != "":
                record = MS_dict[scan_no]
                for key, value in (("title", title), ("header", "%s %s" % (header, charge))):
                    if value not in record[key]:
                        record[key].append(value)
                if re.match("[0-9]", line):
                    fields = line.split()
                    record["ion_mass"][float(fields[0])] = round(float(fields[1]), 5)
                if line == "END IONS":
                    title, header, charge, scan_no = "", "", "", 0
    return MS_dict


def write(tmp_path, text, name="t.mgf", newline="\n"):
    path = tmp_path / name
    path.write_bytes(text if isinstance(text, bytes) else text.replace("\n", newline).encode("utf-8"))
    return path


BLOCK = "BEGIN IONS\nTITLE=t\nPEPMASS=675.85168 21742.94727\nCHARGE=4+\nSCANS=1518\n222.34184 1301.2\nEND IONS\n"


def test_reads_of_what_is_missing_insert_it_at_every_level(mod, tmp_path):
    # Types, factories, key order and values are the reference comparisons' to check.
    table = mod.read_ms_Mgf(str(write(tmp_path, BLOCK)))
    assert table[7]["header"] == "" and list(table[7]) == ["header"] and list(table) == [1518, 7]
    assert table[1518]["ion_mass"][1.5] == 0.0 and list(table[1518]["ion_mass"])[-1] == 1.5


def test_peak_maps_find_their_m_z_values_as_the_interpreter_hashes_them(mod, tmp_path):
    # Tiny, huge, whole, overflowing and long-fraction m/z values: each is found by lookup, and the
    # map equals one the interpreter builds from the same pairs.
    masses = ["222.34184", "0", "5e-324", "2.2250738585072014e-308", "1e308", "1e400", "123456789012345678901234567890",
              "0.1", "1024", "3.141592653589793", "1.5e-10"]
    peaks = "".join("%s %d\n" % (m, i) for i, m in enumerate(masses))
    ion_mass = mod.read_ms_Mgf(str(write(tmp_path, BLOCK.replace("222.34184 1301.2\n", peaks))))[1518]["ion_mass"]
    assert all(float(m) in ion_mass for m in masses)
    assert ion_mass == {float(m): float(i) for i, m in enumerate(masses)}


@pytest.mark.parametrize("body, exc, message", [
    ("BEGIN IONS\nSCANS=1518-1520\n", ValueError, "invalid literal for int() with base 10: '1518-1520'"),
    ("BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2+\nSCANS=3\n100\n", IndexError, "list index out of range"),
    ("PEPMASS= \n", IndexError, "list index out of range"),       # no first token
    ("CHARGE=\t\n", IndexError, "string index out of range"),     # no first character
    # Text is strict UTF-8 whatever the locale.
    (b"TITLE=caf\xe9.raw\r\n", UnicodeDecodeError, "'utf-8' codec can't decode byte 0xe9 in position 9: "
                                                  "invalid continuation byte"),
])
def test_malformed_lines_raise_the_interpreters_errors_naming_the_line(mod, tmp_path, body, exc, message):
    path = write(tmp_path, body, newline="\r\n")
    with pytest.raises(exc) as info:
        mod.read_ms_Mgf(str(path))
    assert str(info.value) == message
    assert info.value.__notes__ == ["in file '%s', line %d" % (path, len(body.splitlines()))]


@pytest.mark.parametrize("bad", [b"\xff", b"\xe2\x28", b"\xe2\x82"])
def test_bad_bytes_and_bad_lines_fail_in_the_order_the_interpreter_meets_them(mod, tmp_path, bad):
    # The interpreter decodes a text file in blocks of 8192 bytes: invalid bytes anywhere in the
    # block that completes a line fail before that line is read.
    rng = random.Random(8192)
    head = b"BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2\nSCANS=3\n"
    for case in range(60):
        filler = b"".join(b"%d %d\n" % (rng.randrange(1000), rng.randrange(1000)) for _ in range(rng.randrange(1200, 1500)))
        cut = rng.randrange(len(filler) - 20, len(filler) + 1) if case % 2 else rng.randrange(len(filler))
        end = rng.choice([b"\n", b"\r", b"\r\n"])
        data = head + filler[:cut] + b"1 x" + end + b"7" * rng.randrange(0, 9000) + bad + b"\n1 2\n"
        path = write(tmp_path, data, name="o.mgf")
        assert outcome(lambda: mod.read_ms_Mgf(str(path))) == outcome(lambda: reference_read_mgf(path)), (case, cut, len(data))


NUMBERS = [
    lambda r: str(r.randrange(0, 3000)), lambda r: "%de%d" % (r.randrange(1, 9), r.randrange(-3, 4)),
    lambda r: "%d.%06d5" % (r.randrange(0, 99), r.randrange(10 ** 6)),  # near ties
    lambda r: repr(r.randrange(1, 4000) / 64), lambda r: "%.*f" % (r.randrange(0, 9), r.uniform(0, 5000)),  # exact ties
    lambda r: r.choice(["1,5", "-", "1e", "x"] if r.random() < 0.03 else  # the odd malformed number
                       ["0.0", "-0.0", "00012.5", "1_000", "inf", "-3.25", "+7", ".5", "1e400", "%r" % r.uniform(0, 1e12)]),
] + [lambda r: "%.7f" % r.uniform(100, 2000)] * 2
OTHER_LINES = ["BEGIN IONS", "END IONS", "end ions", "TITLE=", "TITLE=x=y=z", "TITLE=caf\u00e9 SCANS=4", "PEPMASS=500.5",
               "PEPMASS= 700\t1", "CHARGE=10+", "CHARGE=2+ and 3+", "CHARGE= 4+", "CHARGE=+", "CHARGE=\u00fc", "",
               "   ", "RTINSECONDS=636", "-1 2", ".5 2"]


def random_file(rng):
    """Mostly well-formed blocks, with key lines left out, shuffled, repeated or followed by noise."""
    number = lambda: rng.choice(NUMBERS)(rng)  # noqa: E731
    scans, lines = [rng.randrange(-2, 40) for _ in range(5)] + [0], []
    for _ in range(rng.randrange(1, 12)):
        head = ["TITLE=t%d" % rng.randrange(3), "PEPMASS=%s 1" % number(), "CHARGE=%d+" % rng.randrange(1, 12),
                "SCANS=%d" % rng.choice(scans)]
        head = [h for h in head if rng.random() < 0.95]
        if rng.random() < 0.3:
            rng.shuffle(head)
        lines += ["BEGIN IONS"] * (rng.random() < 0.9) + head
        for _ in range(rng.randrange(0, 30)):
            mz = str(rng.randrange(1, 50)) if rng.random() < 0.1 else next(m for m in iter(number, "") if m[0].isdigit())
            line = (rng.choice(OTHER_LINES + ["SCANS=%d" % rng.choice(scans)]) if rng.random() < 0.1 else
                    mz + rng.choice([" ", " ", "\t", "  ", " \u00a0"]) + number() + rng.choice(["", "", " 7", "\tx"]))
            lines.append(rng.choice(["", "", " ", "\t", " \u00a0", "\x0b"]) + line + rng.choice(["", "", " ", "\t\t", "\u2003"]))
        lines += ["END IONS"] * (rng.random() < 0.9)
    return lines


def test_randomised_files_match_the_algorithm(mod, tmp_path):
    rng = random.Random(1102)
    for case in range(400):
        lines = random_file(rng)
        path = write(tmp_path, "\n".join(lines), name="r%d.mgf" % case, newline=rng.choice(["\n", "\r\n", "\r"]))
        assert outcome(lambda: mod.read_ms_Mgf(str(path))) == outcome(lambda: reference_read_mgf(path)), (case, lines)


def test_files_handed_over_in_several_batches_match_the_algorithm(mod, tmp_path):
    # The scans are handed over tens of thousands of peaks at a time: scans read again in later
    # batches (their peaks start anew, their titles and headers accumulate), and a bad line late.
    rng = random.Random(1105)
    scans = [{0: 7, 1: 8, 60: 7, 100: 8, 119: 7}.get(i, 10 + i) for i in range(120)]
    blocks = ["BEGIN IONS\nTITLE=t%d\nPEPMASS=%d.5\nCHARGE=%d+\nSCANS=%d\n" % (i % 3, 400 + i % 5, 2 + i % 2, scan) +
              "".join("%.5f %.1f\n" % (100 + k + rng.random(), rng.uniform(1, 1e6)) for k in range(400)) + "END IONS\n"
              for i, scan in enumerate(scans)]
    for name, tail in (("good.mgf", ""), ("bad.mgf", "BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2\nSCANS=3\n1 x\n")):
        path = write(tmp_path, "".join(blocks) + tail, name=name)
        expected = outcome(lambda: reference_read_mgf(path))
        assert outcome(lambda: mod.read_ms_Mgf(str(path))) == expected
    assert expected[0] == "error"
