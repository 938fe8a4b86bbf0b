"""read_ms_DtaZip through the module, against a straight reading of the algorithm."""
import collections
import io
import random
import re
import struct
import zipfile
import zlib

import pytest

from helpers.outcome import outcome as call_outcome
from helpers.readers import make_zip

PATTERN = re.compile(r"^.*[^0-9]([0-9]+)\.([0-9]+)\.0\.dta$")


def reference_read_dta_zip(file_path):
    zf = zipfile.ZipFile(file_path, "r")
    filenames = []
    for name in zf.namelist():
        if match := PATTERN.match(name):
            filenames.append((name, int(match.group(1))))
        else:
            print(name)
    filenames.sort(key=lambda pair: pair[1])
    MS_dict = {}
    for name, scan_no in filenames:
        lines = io.StringIO(zf.read(name).decode("ascii")).readlines()
        header = lines[0].strip()
        record = MS_dict.setdefault(scan_no, collections.defaultdict(
            str, title=[], header=[], ion_mass=collections.defaultdict(float)))
        for key, value in (("title", name), ("header", header)):
            if value not in record[key]:
                record[key].append(value)
        for fields in (line.split() for line in lines[1:] if line.strip() != ""):
            record["ion_mass"][float(fields[0])] = round(float(fields[1]), 5)
    zf.close()
    return MS_dict


def outcome(read, path, capsys):  # the result or error, and what was printed
    return call_outcome(lambda: read(path)), capsys.readouterr().out


@pytest.mark.parametrize("data, exc, message, line", [
    (b"0 0\n100 \xe9\n", UnicodeDecodeError, "'ascii' codec can't decode byte 0xe9 in position 8: "
                                             "ordinal not in range(128)", 2),
    (b"0 0\n\n100 1e\n", ValueError, "could not convert string to float: '1e'", 3),
])
def test_bad_members_raise_after_the_names_are_printed(mod, tmp_path, capsys, data, exc, message, line):
    path = make_zip(tmp_path / "c.zip", [("skip.me", ""), ("r.1.1.0.dta", "0 0\n"), ("r.2.2.0.dta", data)])
    with pytest.raises(exc) as info:
        mod.read_ms_DtaZip(path)
    assert str(info.value) == message and capsys.readouterr().out == "skip.me\n"
    assert info.value.__notes__ == ["in file '%s/r.2.2.0.dta', line %d" % (path, line)]


def test_names_are_printed_through_a_print_bound_in_the_module(mod, tmp_path):
    printed = []
    mod.print = printed.append
    mod.read_ms_DtaZip(make_zip(tmp_path / "p.zip", [("skip.me", "")]))
    assert printed == ["skip.me"]


def patch_headers(flag=0, method=None):
    """Sets flag bits and the method in both headers of the archive's one member."""
    def patch(data):
        for magic, at in ((b"PK\x03\x04", 6), (b"PK\x01\x02", 8)):
            at += data.find(magic)
            data[at] |= flag
            if method is not None:
                data[at + 2:at + 4] = method.to_bytes(2, "little")
        return data
    return patch


@pytest.mark.parametrize("damage, exc, message", [
    (lambda data: b"PK\x03\x04 this is no archive", zipfile.BadZipFile, "File is not a zip file"),
    (lambda data: data.replace(b"100 1", b"200 1"), zipfile.BadZipFile, "Bad CRC-32 for file 'r.1.1.0.dta'"),
    (patch_headers(flag=1), RuntimeError, "File 'r.1.1.0.dta' is encrypted, password required for extraction"),
    (patch_headers(method=77), NotImplementedError, "That compression method is not supported"),
])
def test_archives_the_zip_reader_cannot_read(mod, tmp_path, damage, exc, message):
    path = tmp_path / "p.zip"
    make_zip(path, [("r.1.1.0.dta", "0 0\n100 1\n")], zipfile.ZIP_STORED)
    path.write_bytes(damage(bytearray(path.read_bytes())))
    for read in (mod.read_ms_DtaZip, reference_read_dta_zip):
        with pytest.raises(exc) as info:
            read(str(path))
        assert str(info.value) == message


def lying_zip(path, data, method, declared, crc):
    """An archive of one member holding `data` whose headers declare `declared` bytes (zip64 from 2^32-1)."""
    name = b"r.1.1.0.dta"
    payload = data if method == zipfile.ZIP_STORED else zlib.compress(data)[2:-4]  # a raw deflate stream
    zip64 = declared >= 0xFFFFFFFF
    extra = struct.pack("<HHQ", 1, 8, declared) if zip64 else b""
    fields = (45 if zip64 else 20, 0, method, 0, 0x21, crc, len(payload), 0xFFFFFFFF if zip64 else declared,
              len(name), len(extra))
    local = struct.pack("<4s5H3I2H", b"PK\x03\x04", *fields) + name + extra
    central = struct.pack("<4s6H3I5H2I", b"PK\x01\x02", fields[0], *fields, 0, 0, 0, 0, 0) + name + extra
    end = struct.pack("<4s4H2IH", b"PK\x05\x06", 0, 0, 1, 1, len(central), len(local) + len(payload), 0)
    path.write_bytes(local + payload + central + end)
    return str(path)


@pytest.mark.parametrize("method", [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED])
def test_members_are_read_by_their_data_whatever_size_they_declare(mod, tmp_path, capsys, method):
    # The interpreter reads to the end of the data but no further than the declared size, then
    # checks the CRC-32: a larger size reads the data, a smaller one fails the check, unless the
    # CRC-32 is that of the shorter data. Memory follows the data: 2^62 bytes are never asked for.
    data = b"0 0\n100 1\n250.5 3\n"
    # the last case: a CRC-32 the data does not have
    cases = [(n, zlib.crc32(data)) for n in (12, len(data), 0xFFFFFFFE, 1 << 62)] + [(10, zlib.crc32(data[:10])), (len(data), 0)]
    for i, (declared, crc) in enumerate(cases):
        path = lying_zip(tmp_path / ("%d.zip" % i), data, method, declared, crc)
        expected = outcome(reference_read_dta_zip, path, capsys)
        assert outcome(mod.read_ms_DtaZip, path, capsys) == expected, declared


def test_names_duplicates_and_encodings_as_the_interpreter_reads_them(mod, tmp_path, capsys):
    path = tmp_path / "names.zip"
    make_zip(path, [("r.5.5.0.dta", "0 0\n1 1\n"), ("cafQ.6.6.0.dta", "0 0\n"), ("Q.txt", ""),
                    ("na\u00efve.7.7.0.dta", "0 0\n"), ("r.5.5.0.dta", "9 9\n2 2\n")])
    # Unflagged names are code page 437: byte 0x82 is e-acute there.
    path.write_bytes(path.read_bytes().replace(b"Q", b"\x82"))
    got = outcome(mod.read_ms_DtaZip, str(path), capsys)
    assert got == outcome(reference_read_dta_zip, str(path), capsys) and got[1] == "\u00e9.txt\n"
    table = mod.read_ms_DtaZip(str(path))  # reads of what is missing: no scan, but a record's key
    with pytest.raises(KeyError):
        table[8]
    assert table[5]["charge"] == "" and list(table[5]) == ["title", "header", "ion_mass", "charge"]


def random_name(rng):
    if rng.random() < 0.8:
        odd = rng.random() < 0.3  # one part drawn from the variants that may not match
        return "%s%s%s.%s.%s.dta%s" % (
            rng.choice(["run.", "", "a", "dir/x_", "\n", "a\nb.", "\u00e9"] if odd else ["run.", "x_"]),
            rng.choice(["", "0", "00"]), rng.randrange(1, 30), rng.choice(["1", "01", "", "x"] if odd else ["1"]),
            rng.choice(["0", "2", "00"] if odd else ["0"]), rng.choice(["\n", "\n\n", " ", "x"] if odd else [""]))
    return "".join(rng.choice("ab.0159d\nt/") for _ in range(rng.randrange(1, 14)))


def random_member(rng):
    lines = [rng.choice(["0 0", " 1234.5 2 ", "\t0\t0\t", ""])]
    for _ in range(rng.randrange(0, 25)):
        lines.append(rng.choice([
            "%r %r" % (rng.uniform(100, 2000), rng.uniform(0, 1e6)),
            "%d\t%.7f" % (rng.randrange(100, 110), rng.uniform(0, 100)),
            "%s %s extra" % (rng.choice(["0.0", "-0.0", "nan", "-inf", "1_0", "+5"]), rng.choice(["1", "2.5e-6"])),
            rng.choice(["", "  ", "\t\r"]),
            rng.choice(["5", "x 1"]) if rng.random() < 0.01 else "7 7",
        ]))
    return (rng.choice(["\n", "\r\n", "\r"]).join(lines) + rng.choice(["", "\n", "\n\n"])).encode("ascii")


def test_randomised_archives_match_the_algorithm(mod, tmp_path, capsys):
    rng = random.Random(1103)
    for case in range(120):
        members = [(random_name(rng), random_member(rng)) for _ in range(rng.randrange(0, 12))]
        path = make_zip(tmp_path / ("r%d.zip" % case), members, rng.choice([zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED]))
        expected = outcome(reference_read_dta_zip, path, capsys)
        assert outcome(mod.read_ms_DtaZip, path, capsys) == expected, (case, members)

