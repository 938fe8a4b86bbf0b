"""read_ms_Mgf through the module, against a straight reading of the algorithm."""
import collections
import gc
import random
import re

import pytest

PEAK = re.compile("[0-9]")


def reference_read_mgf(file_path):
    MS_dict = collections.defaultdict(lambda: collections.defaultdict(str))
    title = header = charge = ""
    scan_no = 0
    with open(file_path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line == "BEGIN IONS":
                title = header = charge = ""
                scan_no = 0
            if line.startswith("TITLE="):
                title = line.split("=")[1]
            if line.startswith("PEPMASS="):
                header = line.split("=")[1].split()[0]
            if line.startswith("CHARGE="):
                value = line.split("=")[1].strip()
                digits = re.match("[0-9]+", value)
                charge = digits.group(0) if digits else value[0]
            if line.startswith("SCANS="):
                scan_no = int(line.split("=")[1])
                MS_dict[scan_no]["ion_mass"] = collections.defaultdict(float)
                if MS_dict[scan_no]["title"] == "":
                    MS_dict[scan_no]["title"] = []
                if MS_dict[scan_no]["header"] == "":
                    MS_dict[scan_no]["header"] = []
            if title != "" and header != "" and scan_no != 0 and charge != "":
                header_1 = "%s %s" % (header, charge)
                record = MS_dict[scan_no]
                if title not in record["title"]:
                    record["title"].append(title)
                if header_1 not in record["header"]:
                    record["header"].append(header_1)
                if PEAK.match(line):
                    fields = line.split()
                    mz = float(fields[0])
                    record["ion_mass"][mz] = round(float(fields[1]), 5)
                if line == "END IONS":
                    title = header = charge = ""
                    scan_no = 0
    return MS_dict


def snapshot(table):
    """Everything a caller can observe: order, keys, types and float bits (via repr)."""
    out = []
    for scan, record in table.items():
        fields = []
        for key, value in record.items():
            if key == "ion_mass":
                value = [(repr(k), repr(v)) for k, v in value.items()]
            fields.append((key, value))
        out.append((scan, fields))
    return out


def outcome(read, path):
    try:
        return ("ok", snapshot(read(path)))
    except Exception as e:  # compared by type and message
        return (type(e).__name__, str(e))


def write(tmp_path, text, name="t.mgf", newline="\n"):
    path = tmp_path / name
    path.write_bytes(text.replace("\n", newline).encode("utf-8"))
    return path


BLOCK = ("MASS=Monoisotopic\nBEGIN IONS\nTITLE=Example.1518.1518.4 File:\"Example.raw\", "
         "NativeID:\"controllerType=0 controllerNumber=1 scan=1518\"\nPEPMASS=675.85168 21742.94727\n"
         "CHARGE=4+\nRTINSECONDS=636\nSCANS=1518\n222.34184 1301.2\n228.6232 1397.71234567\n"
         "222.34184 5\nEND IONS\n")


def test_result_types_and_key_order(mod, tmp_path):
    table = mod.read_ms_Mgf(str(write(tmp_path, BLOCK)))
    assert type(table) is collections.defaultdict
    assert list(table) == [1518]
    record = table[1518]
    assert type(record) is collections.defaultdict and record.default_factory is str
    assert list(record) == ["ion_mass", "title", "header"]
    assert record["title"] == ['Example.1518.1518.4 File:"Example.raw", NativeID:"controllerType']
    assert record["header"] == ["675.85168 4"]
    peaks = record["ion_mass"]
    assert type(peaks) is collections.defaultdict and peaks.default_factory is float
    assert list(peaks.items()) == [(222.34184, 5.0), (228.6232, 1397.71235)]
    # The collector, paused while the table is built, is left as it was found.
    assert gc.isenabled()
    gc.disable()
    try:
        mod.read_ms_Mgf(str(write(tmp_path, BLOCK)))
        assert not gc.isenabled()
    finally:
        gc.enable()


def test_reads_of_missing_scans_keys_and_peaks_insert_defaults(mod, tmp_path):
    table = mod.read_ms_Mgf(write(tmp_path, BLOCK))  # a path-like argument is accepted
    assert 7 not in table and list(table) == [1518]
    missing = table[7]
    assert type(missing) is collections.defaultdict and missing.default_factory is str
    assert len(missing) == 0 and list(table) == [1518, 7]
    assert missing["header"] == "" and list(missing) == ["header"]
    assert missing["header"] != []
    assert table[1518]["ion_mass"][1.5] == 0.0
    assert list(table[1518]["ion_mass"])[-1] == 1.5
    assert table[1518]["RTINSECONDS"] == ""
    fresh = mod.read_ms_Mgf(str(write(tmp_path, BLOCK)))
    assert 7 not in fresh  # each call builds a new table


@pytest.mark.parametrize("title, pepmass, charge, header", [
    # Key words inside a title or inside other keys change nothing.
    ("run SCANS=99 CHARGE=7+", "500.5 10", "3+", "500.5 3"),
    ("a", "500.5", "10+", "500.5 10"),
    ("a", "500.5", "2+ and 3+", "500.5 2"),
    ("a", "  500.5\t77 ", "+2", "500.5 +"),
])
def test_key_lines_and_charge(mod, tmp_path, title, pepmass, charge, header):
    text = ("BEGIN IONS\nTITLE=%s\nNUM_SCANS=12\nPEPMASS=%s\nCHARGE=%s\nSCANS=5\n100 1\nEND IONS\n"
            % (title, pepmass, charge))
    table = mod.read_ms_Mgf(str(write(tmp_path, text)))
    assert list(table) == [5]
    assert table[5]["title"] == [title.split("=")[0]]
    assert table[5]["header"] == [header]


@pytest.mark.parametrize("newline", ["\n", "\r\n", "\r"])
def test_line_ends(mod, tmp_path, newline):
    path = write(tmp_path, BLOCK + BLOCK.replace("1518", "1519"), newline=newline)
    assert snapshot(mod.read_ms_Mgf(str(path))) == snapshot(reference_read_mgf(path))
    assert list(mod.read_ms_Mgf(str(path))) == [1518, 1519]


@pytest.mark.parametrize("body, exc, message", [
    ("BEGIN IONS\nSCANS=1518-1520\n", ValueError, "invalid literal for int() with base 10: '1518-1520'"),
    ("PEPMASS= \n", IndexError, "list index out of range"),
    ("CHARGE=\n", IndexError, "string index out of range"),
    ("BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2+\nSCANS=3\n100\n", IndexError, "list index out of range"),
    ("BEGIN IONS\nTITLE=a\nPEPMASS=1\nCHARGE=2+\nSCANS=3\n100 1,5\n", ValueError,
     "could not convert string to float: '1,5'"),
])
def test_malformed_lines_raise_the_interpreters_errors_naming_the_line(mod, tmp_path, body, exc, message):
    path = write(tmp_path, body)
    with pytest.raises(exc) as info:
        mod.read_ms_Mgf(str(path))
    assert str(info.value) == message
    assert info.value.__notes__ == ["in file '%s', line %d" % (path, body.count("\n"))]
    with pytest.raises(exc, match=re.escape(message)):
        reference_read_mgf(path)


def test_text_is_strict_utf8_whatever_the_locale(mod, tmp_path):
    path = tmp_path / "u.mgf"
    path.write_bytes(BLOCK.replace("Example.raw", "caf\u00e9.raw").encode("utf-8"))
    assert "caf\u00e9.raw" in mod.read_ms_Mgf(str(path))[1518]["title"][0]
    path.write_bytes(BLOCK.replace("Example.raw", "caf\u00e9.raw").encode("latin-1"))
    with pytest.raises(UnicodeDecodeError) as info:
        mod.read_ms_Mgf(str(path))
    assert info.value.reason == "invalid continuation byte"
    assert info.value.__notes__ == ["in file '%s', line 3" % path]


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
        path = tmp_path / "o.mgf"
        path.write_bytes(data)
        got, expected = outcome(mod.read_ms_Mgf, str(path)), outcome(reference_read_mgf, path)
        assert got == expected, (case, cut, len(data))


def test_os_errors_name_the_file(mod, tmp_path):
    with pytest.raises(FileNotFoundError) as info:
        mod.read_ms_Mgf(str(tmp_path / "none.mgf"))
    assert info.value.filename == str(tmp_path / "none.mgf")
    with pytest.raises(IsADirectoryError):
        mod.read_ms_Mgf(str(tmp_path))
    # A path cut short at a NUL would name another, existing file.
    path = str(write(tmp_path, BLOCK))
    for arg in (path + "\0.bak", (path + "\0.bak").encode()):
        with pytest.raises(ValueError, match="^embedded null byte$"):
            mod.read_ms_Mgf(arg)
    with pytest.raises(ValueError, match="^embedded null byte$"):  # also when read for another function
        mod.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(
            path, path + "\0.bak", path, path, str(tmp_path / "out.mgf"), 32.0, 50.0)
    assert list(mod.read_ms_Mgf(path.encode())) == [1518]
    with pytest.raises(TypeError, match="takes no keyword arguments"):
        mod.read_ms_Mgf(file_path=str(tmp_path))


def test_real_files_read_as_the_algorithm_reads_them(mod, realdata):
    paths = sorted(realdata.glob("mgf/*.mgf")) + sorted(realdata.glob("derived/*.mgf"))
    assert len(paths) == 8
    for path in paths:
        assert snapshot(mod.read_ms_Mgf(str(path))) == snapshot(reference_read_mgf(path)), path
    ms2 = mod.read_ms_Mgf(str(realdata / "derived" / "Ribosome_RT60min_28800-28898_MS2.mgf"))
    assert len(ms2) == 90


def random_number(rng):
    kind = rng.randrange(9)
    if kind == 0:
        return str(rng.randrange(0, 3000))
    if kind == 1:
        return "%de%d" % (rng.randrange(1, 9), rng.randrange(-3, 4))
    if kind == 2:
        return "%d.%06d5" % (rng.randrange(0, 99), rng.randrange(10 ** 6))  # near ties
    if kind == 3:
        return repr(rng.randrange(1, 4000) / 64)  # exact ties at the sixth decimal
    if kind == 4:
        return repr(rng.uniform(0, 1e12))
    if kind == 5:
        return "%.*f" % (rng.randrange(0, 9), rng.uniform(0, 5000))
    if kind == 6:
        if rng.random() < 0.03:
            return rng.choice(["1,5", "-", "1e", "x"])  # the odd malformed number
        return rng.choice(["0.0", "00012.5", "1_000", "inf", "-3.25", "+7", ".5", "1e400"])
    return "%.7f" % rng.uniform(100, 2000)


def random_line(rng, scans):
    kind = rng.randrange(22)
    pad = lambda s: rng.choice(["", " ", "\t", " \u00a0", "\x0b"]) + s + rng.choice(["", " ", "\t\t", "\u2003"])
    if kind == 0:
        return pad("BEGIN IONS")
    if kind == 1:
        return pad(rng.choice(["END IONS", "END IONS", "end ions"]))
    if kind == 2:
        return "TITLE=" + rng.choice(["a", "", "run.1.1.2 scans: 5", "x=y=z", "caf\u00e9 SCANS=4", "b CHARGE=5+"])
    if kind == 3:
        return "PEPMASS=" + rng.choice(["500.5", "600.25 1234.5", " 700\t1"])
    if kind == 4:
        return "CHARGE=" + rng.choice(["2+", "3+", "10+", "2+ and 3+", " 4+", "+", "\u00fc"])
    if kind == 5:
        return pad("SCANS=" + str(rng.choice(scans)))
    if kind == 6:
        return rng.choice(["", "   ", "RTINSECONDS=636", "NUM_SCANS=9", "MASS=Monoisotopic", "-1 2", ".5 2"])
    sep = rng.choice([" ", "\t", "  ", " \u00a0"])
    return pad(random_mz(rng) + sep + random_number(rng) + rng.choice(["", " 7", "\tx"]))


def random_mz(rng):
    while True:
        mz = random_number(rng) if rng.random() < 0.9 else str(rng.randrange(1, 50))
        if mz[0] in "0123456789":
            return mz


def random_file(rng):
    """Mostly well-formed blocks, with key lines left out, shuffled, repeated or followed by noise."""
    scans = [rng.randrange(-2, 40) for _ in range(5)] + [0]
    lines = []
    for _ in range(rng.randrange(1, 12)):
        head = ["TITLE=t%d" % rng.randrange(3), "PEPMASS=%s 1" % random_number(rng),
                "CHARGE=%d+" % rng.randrange(1, 12), "SCANS=%d" % rng.choice(scans)]
        head = [h for h in head if rng.random() < 0.95]
        if rng.random() < 0.3:
            rng.shuffle(head)
        lines += ["BEGIN IONS"] * (rng.random() < 0.9) + head
        for _ in range(rng.randrange(0, 30)):
            lines.append(random_line(rng, scans) if rng.random() < 0.15 else
                         "%s %s" % (random_mz(rng), random_number(rng)))
        lines += ["END IONS"] * (rng.random() < 0.9)
    return lines


def test_randomised_files_match_the_algorithm(mod, tmp_path):
    rng = random.Random(1102)
    for case in range(300):
        lines = random_file(rng)
        newline = rng.choice(["\n", "\r\n", "\r"])
        path = write(tmp_path, "\n".join(lines), name="r%d.mgf" % case, newline=newline)
        assert outcome(mod.read_ms_Mgf, str(path)) == outcome(reference_read_mgf, path), (case, lines)


class Items(dict):
    """A dict whose items() hands out whatever it was given."""

    def __init__(self, items):
        super().__init__()
        self._items = items

    def items(self):
        return self._items


@pytest.mark.parametrize("result", [
    Items([[1518, {}]]),  # pairs that are lists
    Items([(1518,)]),
    {1518: {"ion_mass": Items([[1.0, 2.0]])}},  # peaks likewise
    {1518: {"ion_mass": Items([(1.0, 2.0, 3.0)])}},
])
def test_a_rebound_reader_whose_result_is_no_table(mod, tmp_path, result):
    path = str(write(tmp_path, BLOCK))
    mod.read_ms_Mgf = lambda p: result
    with pytest.raises(TypeError, match=r"^read_ms_Mgf\(\) returned "):
        mod.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(
            path, path, path, path, str(tmp_path / "out.mgf"), 32.0, 50.0)
