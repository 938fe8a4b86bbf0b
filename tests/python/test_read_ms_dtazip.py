"""read_ms_DtaZip through the module, against a straight reading of the algorithm."""
import bz2
import collections
import io
import lzma
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
    (b"0 0\n\x7f1 1\n\x80\n", UnicodeDecodeError, "'ascii' codec can't decode byte 0x80 in position 9: "
                                               "ordinal not in range(128)", 3),
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
                    ("na\u00efve.7.7.0.dta", "0 0\n"), ("r.5.5.0.dta", "9 9\n2 2\n"), ("Z" * 128 + ".txt", "")])
    # Unflagged names are code page 437: byte 0x82 is e-acute there; every byte past ASCII once.
    high = bytes(range(0x80, 0x100))
    path.write_bytes(path.read_bytes().replace(b"Q", b"\x82").replace(b"Z" * 128, high))
    got = outcome(mod.read_ms_DtaZip, str(path), capsys)
    assert got == outcome(reference_read_dta_zip, str(path), capsys)
    assert got[1] == "\u00e9.txt\n" + high.decode("cp437") + ".txt\n"
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



# Archives as the interpreter's zip reader judges them: built with zipfile, then edited byte by byte.

DTA = "500.5 2\n100.5 7\n250.25 3\n"
READ = {1: (["r.1.1.0.dta"], ["500.5 2"], {100.5: 7.0, 250.25: 3.0})}


def judged(read, path, capsys):
    """The table as plain values, or the error's type and message; and what was printed."""
    try:
        got = {k: (v["title"], v["header"], dict(v["ion_mass"])) for k, v in read(str(path)).items()}
    except Exception as e:  # noqa: BLE001 - the error is what is compared
        got = (type(e), str(e))
    return got, capsys.readouterr().out


def read_alike(mod, path, capsys):
    """What the module reads of the archive, once checked to be what the interpreter reads."""
    got = judged(mod.read_ms_DtaZip, path, capsys)
    assert got == judged(reference_read_dta_zip, path, capsys)
    return got[0]


def nth(sig):
    return lambda data, k=0: [i for i in range(len(data)) if data.startswith(sig, i)][k]


LOCAL, CENTRAL, END = nth(b"PK\x03\x04"), nth(b"PK\x01\x02"), lambda data, k=0: data.rfind(b"PK\x05\x06")


def put(fmt, record, at, *values, k=0):
    """An edit writing `values` into the k-th `record` of the archive, `at` bytes into it."""
    def edit(data):
        struct.pack_into(fmt, data, record(data, k) + at, *values)
        return data
    return edit


def grown(fmt, record, at, by):
    """An edit adding `by` to a field."""
    return lambda data: put(fmt, record, at, struct.unpack_from(fmt, data, record(data) + at)[0] + by)(data)


def add_central_extra(extra):
    """An edit appending an extra field to the (only) directory entry."""
    def edit(data):
        c = CENTRAL(data)
        at = c + 46 + struct.unpack_from("<H", data, c + 28)[0] + struct.unpack_from("<H", data, c + 30)[0]
        data = grown("<I", END, 12, len(extra))(grown("<H", CENTRAL, 30, len(extra))(data))
        data[at:at] = extra
        return data
    return edit


def zip64_end(disks=1):
    """An edit putting a zip64 end record and its locator before the end record, which then defers to them."""
    def edit(data):
        e = END(data)
        size, offset = struct.unpack_from("<II", data, e + 12)
        record = struct.pack("<4sQ2H2L4Q", b"PK\x06\x06", 44, 45, 45, 0, 0, 1, 1, size, offset)
        locator = struct.pack("<4sLQL", b"PK\x06\x07", 0, e, disks)
        struct.pack_into("<HHII", data, e + 8, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
        data[e:e] = record + locator
        return data
    return edit


def both(*edits):
    def edit(data):
        for e in edits:
            data = e(data)
        return data
    return edit


def edited(tmp_path, edit, method=zipfile.ZIP_DEFLATED, members=(("r.1.1.0.dta", DTA),)):
    path = tmp_path / "e.zip"
    make_zip(path, members, method)
    path.write_bytes(edit(bytearray(path.read_bytes())))
    return path


P = pytest.param


@pytest.mark.parametrize("edit", [
    P(put("<HH", END, 8, 7, 9), id="entry counts that disagree with the directory"),
    P(put("<HH", END, 4, 3, 3), id="disk numbers"),
    P(put("<I", CENTRAL, 24, 0xFFFFFFFF), id="size 0xFFFFFFFF without a zip64 field"),
    P(put("<HHHHHIII", LOCAL, 4, 99, 0, 77, 0xFFFF, 0xFFFF, 0, 0, 0), id="every local field but the name"),
    P(both(put("<BB", CENTRAL, 4, 0xFF, 0xFF), put("<HH", CENTRAL, 12, 0xFFFF, 0xFFFF),
           put("<HHI", CENTRAL, 34, 9, 0xFFFF, 0xFFFFFFFF)), id="version made by, date, disk, attributes"),
    P(both(put("<H", LOCAL, 6, 8), put("<H", CENTRAL, 8, 8)), id="sizes flagged as following the data"),
    P(put("<B", CENTRAL, 6, 63), id="version needed 6.3"),
    P(lambda data: b"data before the archive" + data, id="data before the archive"),
    P(lambda data: put("<H", END, 20, 200)(data) + b"note", id="a comment shorter than declared"),
    P(zip64_end(), id="zip64 end record"),
    P(add_central_extra(struct.pack("<HHB", 0x7075, 16, 1) + b"\0" * 4 + b"other.2.2.0"), id="Unicode path field"),
])
@pytest.mark.parametrize("method", [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED, zipfile.ZIP_BZIP2, zipfile.ZIP_LZMA])
def test_archives_the_interpreter_reads_are_read(mod, tmp_path, capsys, edit, method):
    assert read_alike(mod, edited(tmp_path, edit, method), capsys) == READ


@pytest.mark.parametrize("edit, method, exc, message", [
    P(put("<I", CENTRAL, 20, 0xFFFFFFFF), zipfile.ZIP_STORED, zipfile.BadZipFile,
      "Overlapped entries: 'r.1.1.0.dta' (possible zip bomb)", id="compressed size 0xFFFFFFFF without a zip64 field"),
    P(put("<H", CENTRAL, 8, 0x40), zipfile.ZIP_DEFLATED, NotImplementedError, "strong encryption (flag bit 6)",
      id="strong encryption"),
    P(put("<H", CENTRAL, 8, 0x20), zipfile.ZIP_DEFLATED, NotImplementedError, "compressed patched data (flag bit 5)",
      id="patched data"),
    P(put("<4s", LOCAL, 0, b"PK\x03\x05"), zipfile.ZIP_STORED, zipfile.BadZipFile, "Bad magic number for file header",
      id="local signature"),
    P(put("<c", LOCAL, 40, b"b"), zipfile.ZIP_STORED, zipfile.BadZipFile,
      "File name in directory 'r.1.1.0.dta' and header b'r.1.1.0.dtb' differ.", id="local name"),
    P(put("<2s", LOCAL, 30, b"'\xe9"), zipfile.ZIP_STORED, zipfile.BadZipFile,
      "File name in directory 'r.1.1.0.dta' and header b\"'\\xe91.1.0.dta\" differ.", id="local name quoted"),
    P(put("<I", CENTRAL, 42, 10 ** 6), zipfile.ZIP_STORED, zipfile.BadZipFile, "Truncated file header",
      id="header offset past the file"),
    P(put("<I", CENTRAL, 42, 1), zipfile.ZIP_STORED, zipfile.BadZipFile, "Bad magic number for file header",
      id="header offset one byte off"),
    P(grown("<I", END, 16, 100), zipfile.ZIP_STORED, OSError, "[Errno 22] Invalid argument",
      id="directory offset putting the headers before the file"),
    P(both(put("<I", CENTRAL, 42, 0xFFFFFFFF), add_central_extra(struct.pack("<HHQ", 1, 8, 1 << 63))),
      zipfile.ZIP_STORED, ValueError, "cannot fit 'int' into an offset-sized integer", id="header offset 2**63"),
    P(put("<B", LOCAL, 41, 0x07), zipfile.ZIP_DEFLATED, zlib.error,
      "Error -3 while decompressing data: invalid block type", id="deflate block type 3"),
    P(put("<3s", LOCAL, 41, b"BZx"), zipfile.ZIP_BZIP2, OSError, "Invalid data stream", id="bzip2 magic"),
    P(put("<H", LOCAL, 41 + 2, 4), zipfile.ZIP_LZMA, lzma.LZMAError, "Invalid or unsupported options",
      id="LZMA properties of 4 bytes"),
    P(put("<B", CENTRAL, 6, 64), zipfile.ZIP_DEFLATED, NotImplementedError, "zip file version 6.4",
      id="version needed 6.4"),
    P(add_central_extra(struct.pack("<HH", 0x5455, 200)), zipfile.ZIP_DEFLATED, zipfile.BadZipFile,
      "Corrupt extra field 5455 (size=200)", id="extra field longer than the extra"),
    P(both(put("<I", CENTRAL, 24, 0xFFFFFFFF), add_central_extra(struct.pack("<HHI", 1, 4, 0))), zipfile.ZIP_DEFLATED,
      zipfile.BadZipFile, "Corrupt zip64 extra field. File size not found.", id="zip64 field without the size"),
    P(zip64_end(disks=2), zipfile.ZIP_DEFLATED, zipfile.BadZipFile, "zipfiles that span multiple disks are not supported",
      id="zip64 locator of two disks"),
    P(put("<I", END, 12, 10 ** 6), zipfile.ZIP_DEFLATED, zipfile.BadZipFile, "Bad offset for central directory",
      id="directory larger than the file"),
    P(grown("<I", END, 12, 1), zipfile.ZIP_DEFLATED, zipfile.BadZipFile, "Bad magic number for central directory",
      id="directory one byte larger"),
    P(both(lambda data: data[:END(data)] + b"\0" * 10 + data[END(data):], grown("<I", END, 12, 10)),
      zipfile.ZIP_DEFLATED, zipfile.BadZipFile, "Truncated central directory", id="directory ending in 10 stray bytes"),
    P(both(put("<H", CENTRAL, 8, 0x800), put("<B", CENTRAL, 46, 0xFF)), zipfile.ZIP_DEFLATED, UnicodeDecodeError,
      "'utf-8' codec can't decode byte 0xff in position 0: invalid start byte", id="name flagged UTF-8 that is not"),
])
def test_archives_the_interpreter_refuses_are_refused(mod, tmp_path, capsys, edit, method, exc, message):
    assert read_alike(mod, edited(tmp_path, edit, method), capsys) == (exc, message)


def test_member_comments_and_extra_fields_are_passed_over(mod, tmp_path, capsys):
    path = tmp_path / "c.zip"
    with zipfile.ZipFile(path, "w") as zf:
        info = zipfile.ZipInfo("r.1.1.0.dta")
        info.comment, info.extra = b"hello", b"\xfe\xca\x02\x00ab"  # one unknown field, filling the extra
        zf.writestr(info, DTA)
    assert read_alike(mod, path, capsys) == READ


def test_a_directory_declared_to_start_at_its_second_entry_lists_only_the_rest(mod, tmp_path, capsys):
    def edit(data):
        first = CENTRAL(data, 1) - CENTRAL(data)
        return both(grown("<I", END, 12, -first), grown("<I", END, 16, first))(data)
    path = edited(tmp_path, edit, zipfile.ZIP_DEFLATED, [("r.1.1.0.dta", DTA), ("r.2.2.0.dta", DTA)])
    assert read_alike(mod, path, capsys) == {2: (["r.2.2.0.dta"], ["500.5 2"], {100.5: 7.0, 250.25: 3.0})}


def test_a_member_reaching_past_the_file_ends_in_eof_error(mod, tmp_path, capsys):
    # The first member declares more data than the file holds; the second's header lies past the
    # file, so nothing overlaps: the first member's reading runs out of file.
    edit = both(put("<II", CENTRAL, 20, 0x10000000, 0x10000000), put("<I", CENTRAL, 42, 0x20000000, k=1))
    path = edited(tmp_path, edit, zipfile.ZIP_STORED, [("r.1.1.0.dta", DTA), ("r.2.2.0.dta", DTA)])
    assert read_alike(mod, path, capsys) == (EOFError, "")


@pytest.mark.parametrize("longer, overlapped", [(0, False), (1, True)])
def test_data_may_reach_the_next_header_but_not_into_it(mod, tmp_path, capsys, longer, overlapped):
    edit = grown("<I", CENTRAL, 20, longer)
    got = read_alike(mod, edited(tmp_path, edit, zipfile.ZIP_STORED, [("r.1.1.0.dta", DTA), ("r.2.2.0.dta", DTA)]), capsys)
    assert (got == (zipfile.BadZipFile, "Overlapped entries: 'r.1.1.0.dta' (possible zip bomb)")) == overlapped


@pytest.mark.parametrize("offset", [(1 << 63) - 1, 1 << 63, (1 << 64) - 1])
def test_header_offsets_at_the_edge_of_64_bits(mod, tmp_path, capsys, offset):
    # Past the file: how far the file system lets a file be sought decides between the header's
    # absence and the system's refusal; beyond the signed 64 bits no seek is tried.
    path = edited(tmp_path, both(put("<I", CENTRAL, 42, 0xFFFFFFFF), add_central_extra(struct.pack("<HHQ", 1, 8, offset))))
    got = read_alike(mod, path, capsys)
    assert got in [(zipfile.BadZipFile, "Truncated file header"), (OSError, "[Errno 22] Invalid argument")] \
        if offset < 1 << 63 else got == (ValueError, "cannot fit 'int' into an offset-sized integer")


@pytest.mark.parametrize("size", [25, 0xFFFFFFFF])
def test_an_lzma_member_declaring_a_4_gib_dictionary_is_read(mod, tmp_path, capsys, size):
    # Properties after the 4-byte header: lc/lp/pb, then the dictionary size. The member declares
    # its true size, or one the dictionary could fill.
    edit = both(put("<I", LOCAL, 41 + 5, 0xFFFFFFFF), put("<I", CENTRAL, 24, size))
    assert read_alike(mod, edited(tmp_path, edit, zipfile.ZIP_LZMA), capsys) == READ


def overlapping_bomb(path, entries, kernel):
    """Entries that all end in one compressed stream: entry k's data quotes entry k+1's local
    header in a stored deflate block, then goes on with entry k+1's data."""
    names = [("b.%d.%d.0.dta" % (k, k)).encode() for k in range(1, entries + 1)]
    data, content, central, headers = zlib.compress(kernel)[2:-4], kernel, [], []
    for name in reversed(names):
        crc = zlib.crc32(content)
        header = struct.pack("<4s5H3I2H", b"PK\x03\x04", 20, 0, 8, 0, 0x21, crc, len(data), len(content), len(name), 0) + name
        headers.insert(0, (name, crc, len(data), len(content)))
        data, content = struct.pack("<BHH", 0, len(header), 0xFFFF ^ len(header)) + header + data, header + content
    offset = 0
    for name, crc, compressed, size in headers:
        central.append(struct.pack("<4s6H3I5H2I", b"PK\x01\x02", 20, 20, 0, 8, 0, 0x21, crc, compressed, size,
                                   len(name), 0, 0, 0, 0, 0, offset) + name)
        offset += 30 + len(name) + 5
    body = data[5:]  # the first entry's header is not quoted
    directory = b"".join(central)
    end = struct.pack("<4s4H2IH", b"PK\x05\x06", 0, 0, entries, entries, len(directory), len(body), 0)
    path.write_bytes(body + directory + end)
    return path


def test_entries_sharing_one_stream_are_refused_before_any_is_inflated(mod, tmp_path, capsys):
    # 64 entries of 16 MB each, a gigabyte in all, from about 16 kB: none is inflated.
    path = overlapping_bomb(tmp_path / "bomb.zip", 64, b"100.5 7\n" * (1 << 21))
    assert read_alike(mod, path, capsys) == (zipfile.BadZipFile, "Overlapped entries: 'b.1.1.0.dta' (possible zip bomb)")


def test_a_bzip2_stream_cut_after_its_block_gives_the_interpreters_first_32_kib(mod, tmp_path, capsys):
    # The interpreter's bzip2 decompression returns once its input is used up, with what fits its
    # first 32 KiB output block; the rest of the block is lost. 8-byte lines: the header and 4,095 peaks.
    text = "".join("%05d 7\n" % i for i in range(10000, 18000)).encode()
    stream = bz2.compress(text)[:-10]  # without the 80-bit end-of-stream marker and CRC-32
    path = tmp_path / "cut.zip"
    make_zip(path, [("r.1.1.0.dta", text)], zipfile.ZIP_BZIP2)
    data = bytearray(path.read_bytes())
    start = LOCAL(data) + 30 + 11
    data[start:start + struct.unpack_from("<I", data, CENTRAL(data) + 20)[0]] = stream
    data = both(put("<I", CENTRAL, 16, zlib.crc32(text[:32768])), put("<I", CENTRAL, 20, len(stream)),
                put("<I", END, 16, CENTRAL(data)))(data)
    path.write_bytes(data)
    table = read_alike(mod, path, capsys)
    assert len(table[1][2]) == 4095 and max(table[1][2]) == 14095.0


@pytest.mark.parametrize("past, exc", [(0, None), (1, MemoryError)])
def test_output_past_the_declared_size_is_dropped_up_to_64_mib(mod, tmp_path, capsys, past, exc):
    # The member declares only its first line; its stream goes on 64 MiB (or a byte more) beyond it.
    path = tmp_path / "long.zip"
    make_zip(path, [("r.1.1.0.dta", b"500.5 2\n" + bytes((64 << 20) + past))], zipfile.ZIP_BZIP2)
    declare = both(put("<I", CENTRAL, 16, zlib.crc32(b"500.5 2\n")), put("<I", CENTRAL, 24, 8))
    path.write_bytes(declare(bytearray(path.read_bytes())))
    if exc is None:
        assert read_alike(mod, path, capsys) == {1: (["r.1.1.0.dta"], ["500.5 2"], {})}
    else:
        with pytest.raises(exc):
            mod.read_ms_DtaZip(str(path))


def test_archives_with_random_bit_flips_read_as_the_interpreter_reads_them(mod, tmp_path, capsys):
    rng = random.Random(20)
    methods = [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED, zipfile.ZIP_BZIP2, zipfile.ZIP_LZMA]
    for case in range(200):
        path = tmp_path / ("f%d.zip" % case)
        make_zip(path, [("r.%d.%d.0.dta" % (k, k), DTA * rng.randrange(1, 4)) for k in range(1, rng.randrange(2, 5))],
                 rng.choice(methods))
        data = bytearray(path.read_bytes())
        for _ in range(rng.randrange(1, 4)):
            data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        path.write_bytes(data)
        read_alike(mod, path, capsys)
