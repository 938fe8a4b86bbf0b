"""Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf through the module."""
import itertools
import os
import pathlib
import stat
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))
from rescue_fraction import PROTON, make_fraction, write_fraction  # noqa: E402

NAME = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"


# ---------------------------------------------------------------------------------------------
# A plain reference of the whole run, on the module's own reader, written as directly as the
# algorithm reads; the module's output must match it byte for byte.

def reference(V, deconv_path, ms2_path, ms3_path, own_path, linker_dm, linker_deficit):
    MS2_dict = V.read_ms_Mgf(ms2_path)
    MS3_dict = V.read_ms_Mgf(ms3_path)
    MS2_DeisoDeconv_dict = V.read_ms_Mgf(deconv_path)
    msn_1_MS3_dict = V.read_ms_Mgf(own_path)
    out = []
    used = set()

    def parse(scan):
        masses, charge = [], 0
        for entry in msn_1_MS3_dict[scan]["header"]:
            items = entry.split()
            charge = int(items[1])
            masses.append((float(items[0]) - PROTON) * charge + PROTON)
        return masses, charge

    def write(scan, mz, charge, label, quoted, parent):
        if charge < 1:
            return
        title = msn_1_MS3_dict[scan]["title"][0]
        if quoted:
            title = '"%s"' % title
        out.append("BEGIN IONS\nTITLE=FILE: %s\nPEPMASS=%s\nCHARGE=%s+\nRTINSECONDS=1000000\nSCANS=%s\n"
                   % (title, mz, charge, label))
        peaks = MS2_DeisoDeconv_dict[parent]["ion_mass"]
        for m in sorted(peaks):
            out.append("%s %s\n" % (m, peaks[m]))
        out.append("END IONS\n")

    def partners(ms2_mass, ms2_charge, light, heavy):
        result = []
        for m, z in (light, heavy):
            mass = ms2_mass - ((m + linker_deficit) - PROTON)
            c = ms2_charge - z
            if c == 0:
                c = 1
            result.append(((mass - PROTON) / c + PROTON, c))
        return result  # long, short

    def confirmed(parent, long_mz, short_mz):
        found_long = found_short = False
        for f in MS2_dict[parent]["ion_mass"]:
            if f <= 0:
                continue
            if abs(f - long_mz) / f * 1000000 <= 20:
                found_long = True
            elif abs(f - short_mz) / f * 1000000 <= 20:
                found_short = True
        return found_long and found_short

    def process(kind, scans):
        first = scans[0]
        parent = None
        for cand in range(first - 1, -1, -1):
            if cand in MS2_dict and MS2_dict[cand]["header"] == MS3_dict[first]["header"]:
                parent = cand
                break
        if parent is None:
            return False
        if kind == 4:
            used.update(scans)
        if not all(s in msn_1_MS3_dict for s in scans):
            return True
        if not all(msn_1_MS3_dict[s]["header"] and msn_1_MS3_dict[s]["title"] for s in scans):
            return True

        def ms2_precursor():
            headers = MS2_dict[parent]["header"]
            if not headers:
                return None
            items = headers[0].split()
            mz = float(items[0])
            z = int(items[1])
            return (mz - PROTON) * z + PROTON, z

        if kind == 2:
            ms2 = ms2_precursor()
            if ms2 is None:
                return True
        parsed = [parse(s) for s in scans]
        if kind != 2:
            ms2 = ms2_precursor()
            if ms2 is None:
                return True
        ms2_mass, ms2_charge = ms2
        all_masses = [m for masses, _ in parsed for m in masses]
        pairs = list(itertools.combinations(all_masses, 2))
        if pairs and ms2_mass == 0:
            return True
        if any(abs(ms2_mass - (a + b + linker_deficit - PROTON)) / ms2_mass * 1000000 <= 20 for a, b in pairs):
            return True
        arm = [(masses[0], charge) for masses, charge in parsed]

        def try_pair(i, j, to_i, to_j, label, quoted):
            light, heavy = (arm[i], arm[j]) if arm[i][0] < arm[j][0] else (arm[j], arm[i])
            (long_mz, long_z), (short_mz, short_z) = partners(ms2_mass, ms2_charge, light, heavy)
            if confirmed(parent, long_mz, short_mz):
                write(scans[to_i], short_mz, short_z, label(scans[to_i]), quoted, parent)
                write(scans[to_j], long_mz, long_z, label(scans[to_j]), quoted, parent)

        if kind == 4:
            try_pair(0, 1, 2, 3, lambda s: s, True)
            try_pair(2, 3, 0, 1, lambda s: s, True)
        elif kind == 3:
            try_pair(0, 1, 0, 1, lambda s: s + 1000000, False)
            try_pair(1, 2, 1, 2, lambda s: s + 1000000, False)
        else:
            m1, m2 = arm[0][0], arm[1][0]
            if m1 < m2 and abs(linker_dm - abs(m2 - m1)) / linker_dm <= 0.1:
                order = (0, 1)
            elif m1 > m2 and abs(linker_dm - abs(m2 - m1)) / linker_dm <= 0.1:
                order = (1, 0)
            else:
                return True
            (long_mz, long_z), (short_mz, short_z) = partners(ms2_mass, ms2_charge, arm[order[0]], arm[order[1]])
            if confirmed(parent, long_mz, short_mz):
                write(scans[0], short_mz, short_z, scans[0] + 0.1, False, parent)
                write(scans[1], long_mz, long_z, scans[1] + 0.1, False, parent)
        return True

    for key in sorted(MS3_dict.keys()):
        if key in used:
            continue
        h = MS3_dict[key]["header"]
        if all(key + d in MS3_dict for d in (1, 2, 3)) and all(MS3_dict[key + d]["header"] == h for d in (1, 2, 3)):
            process(4, [key, key + 1, key + 2, key + 3])
            continue
        found = []
        for key_no in range(key, key + 40):
            if len(found) == 4:
                break
            if MS3_dict[key_no]["header"] == h:
                found.append(key_no)
        if len(found) == 4:
            process(4, found)
        elif len(found) == 3:
            used.update(found)
            process(3, found)
        elif (key + 1 in MS3_dict and h == MS3_dict[key + 1]["header"] and h != MS3_dict[key - 1]["header"]
              and h != MS3_dict[key + 2]["header"]):
            used.update([key, key + 1])
            process(2, [key, key + 1])
    return "".join(out).encode("utf-8")


def run(V, paths, out, linker_dm=31.97207, linker_deficit=18.01056):
    getattr(V, NAME)(*paths, str(out), linker_dm, linker_deficit)
    return out.read_bytes()


# ---------------------------------------------------------------------------------------------
# Hand-made fractions

def block(title, mz, z, scan, peaks=(), charge_line=True):
    lines = ["BEGIN IONS", "TITLE=" + title, "PEPMASS=%s" % mz]
    if charge_line:
        lines.append("CHARGE=%s+" % z)
    lines.append("SCANS=%d" % scan)
    lines += ["%s %s" % p for p in peaks]
    return "\n".join(lines + ["END IONS", ""])


def fraction(tmp_path, ms2, ms3, own, deconv):
    return write_fraction(tmp_path, ["".join(deconv), "".join(ms2), "".join(ms3), "".join(own)])


# The worked two-scan example: MS2 MH+ 3000.0 (m/z 750.7558875, charge 4), fragments 1000.0 and
# 1031.0 (charge 2), linker_dm 32.0, linker_deficit 50.0; partners 976.007825 and 960.507825.
MS2_MZ = (3000.0 - PROTON) / 4 + PROTON


def two_scan_fraction(tmp_path, m1=1000.0, m2=1031.0, z1=2, z2=2, ms2_peaks=((976.0, 1.0), (960.5, 1.0)),
                      deconv_peaks=((175.11895, 1520.40625), (99.5, 1e-05), (1303.6551, 87.0), (120.08078, 311.5))):
    return fraction(
        tmp_path,
        ms2=[block("p", repr(MS2_MZ), 4, 1233, ms2_peaks)],
        ms3=[block("m", repr(MS2_MZ), 4, s) for s in (1234, 1235)],
        own=[block('t "%d" é' % s, repr((m - PROTON) / z + PROTON), z, s) for s, m, z in ((1234, m1, z1), (1235, m2, z2))],
        deconv=[block("d", "1", 1, 1233, deconv_peaks)])


def test_two_scan_blocks_byte_for_byte(mod, tmp_path):
    got = run(mod, two_scan_fraction(tmp_path), tmp_path / "out.mgf", 32.0, 50.0)
    peaks = "99.5 1e-05\n120.08078 311.5\n175.11895 1520.40625\n1303.6551 87.0\nEND IONS\n"
    assert got.decode("utf-8") == (
        'BEGIN IONS\nTITLE=FILE: t "1234" é\nPEPMASS=960.507825\nCHARGE=2+\nRTINSECONDS=1000000\nSCANS=1234.1\n' + peaks +
        'BEGIN IONS\nTITLE=FILE: t "1235" é\nPEPMASS=976.007825\nCHARGE=2+\nRTINSECONDS=1000000\nSCANS=1235.1\n' + peaks)


def partner_mz(m, z_scan, ms2_mass=3000.0, ms2_z=4, deficit=50.0):
    z = ms2_z - z_scan or 1
    return (ms2_mass - (m + deficit - PROTON) - PROTON) / z + PROTON


def test_partner_charge_below_one_writes_no_block(mod, tmp_path):
    # Scan 1235 (charge 5, above the MS2 charge 4) is heavy enough that its partner's MH+ falls
    # below a proton: with charge -1 that partner's m/z comes out positive and is confirmed. Its
    # block (on scan 1234) must not be written; the other one is.
    m2 = 3000.0 - 50.0 + PROTON - 0.5
    m1 = m2 - 32.0
    peaks = ((partner_mz(m1, 2), 1.0), (partner_mz(m2, 5), 1.0))
    assert partner_mz(m2, 5) > 0
    got = run(mod, two_scan_fraction(tmp_path, m1, m2, z2=5, ms2_peaks=peaks), tmp_path / "o.mgf", 32.0, 50.0)
    assert got.count(b"BEGIN IONS") == 1 and b"SCANS=1235.1\n" in got and b"CHARGE=-" not in got

    # A partner charge of exactly 0 is taken as 1: its m/z is its MH+.
    m1, m2 = 1000.0, 1031.0
    peaks = ((partner_mz(m1, 2), 1.0), (partner_mz(m2, 4), 1.0))
    got = run(mod, two_scan_fraction(tmp_path, m1, m2, z2=4, ms2_peaks=peaks), tmp_path / "o.mgf", 32.0, 50.0)
    assert "PEPMASS=%r\nCHARGE=1+\n" % (3000.0 - (m2 + 50.0 - PROTON)) in got.decode()
    assert got.count(b"BEGIN IONS") == 2


def test_nonpositive_peak_confirms_nothing(mod, tmp_path):
    paths = two_scan_fraction(tmp_path, ms2_peaks=((0.0, 1.0), (976.0, 1.0)))
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0) == b""


@pytest.mark.parametrize("second_mz, blocks", [
    ("1370.7", 0),       # the pair explains the precursor
    ("1370.7599", 0),    # 19.97 ppm: still a match
    ("1370.76", 2),      # 20.003 ppm: a mismatch, rescued
])
def test_pair_test_bound(mod, tmp_path, second_mz, blocks):
    # Parent m/z 1000.5 at charge 3 (MH+ 2999.48435); scans 800.4 (2+) and the second (1+).
    ms2_mass = (1000.5 - PROTON) * 3 + PROTON
    m1, m2 = (800.4 - PROTON) * 2 + PROTON, float(second_mz)
    peaks = [(partner_mz(m, z, ms2_mass, 3, 30.0), 1.0) for m, z in ((m1, 2), (m2, 1))]
    paths = fraction(tmp_path,
                     ms2=[block("p", "1000.5", 3, 10, peaks)],
                     ms3=[block("m", "1000.5", 3, s) for s in (20, 21)],
                     own=[block("a", "800.4", 2, 20), block("b", second_mz, 1, 21)],
                     deconv=[])
    assert run(mod, paths, tmp_path / "o.mgf", m1 - m2, 30.0).count(b"BEGIN IONS") == blocks


@pytest.mark.parametrize("seed", range(12))
def test_matches_reference_on_synthetic_fractions(mod, tmp_path, seed):
    paths = write_fraction(tmp_path, make_fraction(seed, 150))
    expected = reference(mod, *paths, 31.97207, 18.01056)
    assert run(mod, paths, tmp_path / "out.mgf") == expected


def test_reference_comparison_is_not_vacuous(mod, tmp_path):
    paths = write_fraction(tmp_path, make_fraction(99, 400))
    got = run(mod, paths, tmp_path / "out.mgf").decode()
    for needle in ('TITLE=FILE: "', "SCANS=10", ".1\n", "CHARGE=1+", "é"):
        assert needle in got


def test_rebound_reader_and_combinations_give_the_same_file(mod, tmp_path):
    paths = write_fraction(tmp_path, make_fraction(7, 120))
    native = run(mod, paths, tmp_path / "a.mgf")
    calls = []
    reader = mod.read_ms_Mgf
    mod.read_ms_Mgf = lambda p: calls.append(p) or reader(p)
    mod.combinations = lambda seq, r: list(itertools.combinations(seq, r))
    assert run(mod, paths, tmp_path / "b.mgf") == native
    assert calls == [paths[1], paths[2], paths[0], paths[3]]  # MS2, MS3, deconvoluted, own precursor


def test_real_spectra(mod, tmp_path, realdata):
    # The MS2-MS3 cluster: MS3 scans 4-7 relabelled with their parent's precursor (MS2 scan 2).
    derived = realdata / "derived"
    ms3_text = (derived / "ms2ms3mixed_10226_MS3.mgf").read_text()
    relabelled = []
    for line in ms3_text.splitlines(keepends=True):
        if line.startswith("PEPMASS="):
            line = "PEPMASS=860.390319824219 1\n"
        elif line.startswith("CHARGE="):
            line = "CHARGE=4+\n"
        relabelled.append(line)
    (tmp_path / "ms3.mgf").write_text("".join(relabelled))
    ms2 = str(derived / "ms2ms3mixed_10226_MS2.mgf")
    paths = [ms2, ms2, str(tmp_path / "ms3.mgf"), str(derived / "ms2ms3mixed_10226_MS3.mgf")]
    # With the water deficit the alkene and thiol arms explain the precursor: nothing to rescue.
    # The other deficits put a derived partner pair on peaks of MS2 scan 2.
    for deficit, rescued in ((18.01056, False), (969.3856201171881, True), (805.3848876953132, True)):
        expected = reference(mod, *paths, 31.97207, deficit)
        assert run(mod, paths, tmp_path / "out.mgf", 31.97207, deficit) == expected
        assert (b'TITLE=FILE: "ms2ms3mixed_10226.' in expected) == rescued


@pytest.mark.parametrize("scans, own_mz, own_z, message", [
    # The parent's header is read m/z first; a two-scan group reads it before its own scans.
    ((20, 21), "abc", "x", "could not convert string to float: 'abc'"),
    ((20, 21, 22, 23), "500.0", 2, "could not convert string to float: 'abc'"),
    # Four- and three-scan groups read their own scans first, each charge first.
    ((20, 21, 22, 23), "abc", "x", r"invalid literal for int\(\) with base 10: 'x'"),
    ((20, 25, 30), "abc", "x", r"invalid literal for int\(\) with base 10: 'x'"),
])
def test_malformed_precursor_raises_the_first_value_read(mod, tmp_path, scans, own_mz, own_z, message):
    paths = fraction(tmp_path,
                     ms2=[block("p", "abc", "x", 10)],
                     ms3=[block("m", "abc", "x", s) for s in scans],
                     own=[block("o", own_mz, own_z, s) for s in scans],
                     deconv=[])
    with pytest.raises(ValueError, match=message):
        run(mod, paths, tmp_path / "o.mgf")


# ---------------------------------------------------------------------------------------------
# Groups that would have stopped the whole run

def group_fraction(tmp_path, scans, masses, incomplete=()):
    """MS3 scans of one parent (MS2 scan 10, MH+ 3000.0 at charge 4) with own MH+ `masses` at
    charge 2, and every partner their arm pairs can derive among the parent's peaks; the own
    blocks of the scans in `incomplete` lack their CHARGE line."""
    peaks = [(partner_mz(m, 2), 1.0) for m in masses]
    return fraction(
        tmp_path,
        ms2=[block("p", repr(MS2_MZ), 4, 10, peaks)],
        ms3=[block("m", repr(MS2_MZ), 4, s) for s in scans],
        own=[block("o%d" % s, repr((m - PROTON) / 2 + PROTON), 2, s, charge_line=s not in incomplete)
             for s, m in zip(scans, masses)],
        deconv=[block("d", "1", 1, 10, [(100.0, 1.0)])])


@pytest.mark.parametrize("scans, masses", [
    ((20, 21), (1000.0, 1031.0)),
    ((20, 25, 30), (1000.0, 1032.0, 1064.0)),
    ((20, 21, 22, 23), (1000.0, 1032.0, 900.0, 932.0)),
])
def test_group_with_an_incomplete_own_precursor_is_dropped(mod, tmp_path, scans, masses):
    # Complete, every arm pair is written; with the last scan's own block incomplete (no
    # precursor, no title) the whole group is dropped, also the pairs that do not read it.
    assert run(mod, group_fraction(tmp_path, scans, masses), tmp_path / "o.mgf", 32.0, 50.0).count(
        b"BEGIN IONS") == {2: 2, 3: 4, 4: 4}[len(scans)]
    paths = group_fraction(tmp_path, scans, masses, incomplete=scans[-1:])
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0) == b""


def test_parent_with_empty_header_list_is_dropped(mod, tmp_path):
    # Both the MS3 scans and the MS2 scan below them have incomplete blocks: equal empty lists.
    paths = fraction(tmp_path,
                     ms2=[block("p", "700.0", 2, 5, charge_line=False)],
                     ms3=[block("m", "700.0", 2, s, charge_line=False) for s in (10, 11)],
                     own=[block("a", "600.0", 1, 10), block("b", "632.0", 1, 11)],
                     deconv=[])
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0) == b""


@pytest.mark.parametrize("deficit", [50.0, None])
def test_parent_precursor_of_mass_zero(mod, tmp_path, deficit):
    # m/z 0 at charge 1 is an MH+ of exactly 0, against which no pair can be measured: the group
    # is finished without a block instead of the run failing on a division by zero. A deficit
    # that is no number still fails at the group's first pair.
    paths = fraction(tmp_path,
                     ms2=[block("p", "0", 1, 10, [(976.0, 1.0), (960.5, 1.0)])],
                     ms3=[block("m", "0", 1, s) for s in (20, 21)],
                     own=[block("a", "800.4", 2, 20), block("b", "1370.76", 1, 21)],
                     deconv=[])
    if deficit is None:
        with pytest.raises(TypeError, match=r"for \+: 'float' and 'NoneType'"):
            run(mod, paths, tmp_path / "o.mgf", 32.0, deficit)
    else:
        assert run(mod, paths, tmp_path / "o.mgf", 32.0, deficit) == b""


# ---------------------------------------------------------------------------------------------
# The output file's lifecycle

def test_empty_ms3_table_gives_empty_file(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    open(paths[2], "w").close()
    out = tmp_path / "o.mgf"
    out.write_text("old")
    assert run(mod, paths, out) == b""


def test_failed_run_keeps_old_file_and_leaves_no_temporary(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    out = tmp_path / "o.mgf"
    out.write_text("old content")
    os.chmod(out, 0o640)
    # A malformed own precursor fails the run in the middle of the walk.
    own = open(paths[3]).read().replace("CHARGE=2+\nSCANS=1235", "CHARGE=x+\nSCANS=1235")
    open(paths[3], "w").write(own)
    with pytest.raises(ValueError, match="invalid literal for int"):
        getattr(mod, NAME)(*paths, str(out), 32.0, 50.0)
    assert out.read_text() == "old content"
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(["o.mgf", "deconv.mgf", "ms2.mgf", "ms3.mgf", "own.mgf"])
    # A missing input fails before anything is written.
    with pytest.raises(FileNotFoundError):
        getattr(mod, NAME)(paths[0], str(tmp_path / "nope.mgf"), *paths[2:], str(out), 32.0, 50.0)
    assert out.read_text() == "old content"


def test_success_replaces_through_symlink_keeping_mode(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    target = tmp_path / "real.mgf"
    target.write_text("old")
    os.chmod(target, 0o604)
    link = tmp_path / "link.mgf"
    link.symlink_to(target)
    getattr(mod, NAME)(*paths, str(link), 32.0, 50.0)
    assert link.is_symlink() and target.read_bytes().startswith(b"BEGIN IONS\n")
    assert stat.S_IMODE(os.stat(target).st_mode) == 0o604


@pytest.mark.parametrize("as_bytes, out_name", [
    (True, "out.mgf"),            # bytes paths whose names are not UTF-8
    (False, "\udcff.mgf"),       # a str output path carrying such a byte
    (True, b"\xfe.mgf"),
])
def test_paths_in_every_form_open_like_open_does(mod, tmp_path, as_bytes, out_name):
    paths = two_scan_fraction(tmp_path)
    if as_bytes:
        renamed = []
        for p in paths:
            raw = os.fsencode(p)[:-4] + b"\xff.mgf"
            os.rename(p, raw)
            renamed.append(raw)
        paths = renamed
    out = os.path.join(os.fsencode(tmp_path) if isinstance(out_name, bytes) else str(tmp_path), out_name)
    getattr(mod, NAME)(*paths, out, 32.0, 50.0)
    with open(out, "rb") as f:
        assert f.read().count(b"BEGIN IONS") == 2
    with pytest.raises(ValueError, match="same file"):
        getattr(mod, NAME)(*paths, paths[1], 32.0, 50.0)


@pytest.mark.parametrize("which", range(4))
def test_spec_file_naming_an_input_is_refused(mod, tmp_path, which):
    paths = two_scan_fraction(tmp_path)
    before = [open(p, "rb").read() for p in paths]
    link = tmp_path / "alias.mgf"
    link.symlink_to(paths[which])
    for spec_file in (paths[which], str(link), os.path.join(str(tmp_path), ".", os.path.basename(paths[which]))):
        with pytest.raises(ValueError, match="same file"):
            getattr(mod, NAME)(*paths, spec_file, 32.0, 50.0)
    assert [open(p, "rb").read() for p in paths] == before


# ---------------------------------------------------------------------------------------------
# Calls

def test_arguments_and_names(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    with pytest.raises(TypeError, match=r"takes exactly 7 positional arguments \(6 given\)"):
        getattr(mod, NAME)(*paths, "x", 1.0)
    out = tmp_path / "kw.mgf"
    getattr(mod, NAME)(*paths[:2], MS3_file_path=paths[2], msn_1_MS3_path=paths[3], spec_file=str(out),
                       linker_dm=32.0, linker_deficit=50.0)
    assert out.read_bytes().count(b"BEGIN IONS") == 2
    with pytest.raises(FileNotFoundError):
        getattr(mod, NAME)(*paths, str(tmp_path / "no" / "such.mgf"), 32.0, 50.0)
    for name in ("combinations", "read_ms_Mgf"):
        saved = getattr(mod, name)
        delattr(mod, name)
        with pytest.raises(NameError, match="name '%s' is not defined" % name):
            getattr(mod, NAME)(*paths, str(out), 32.0, 50.0)
        setattr(mod, name, saved)
    assert out.read_bytes().count(b"BEGIN IONS") == 2


@pytest.mark.parametrize("dm, deficit, error, message", [
    ("x", 50.0, TypeError, r"unsupported operand type\(s\) for -: 'str' and 'float'"),
    (32.0, None, TypeError, r"unsupported operand type\(s\) for \+: 'float' and 'NoneType'"),
    (0, 50.0, ZeroDivisionError, "float division by zero"),
    (32, 50, None, None),
])
def test_linker_arguments(mod, tmp_path, dm, deficit, error, message):
    paths = two_scan_fraction(tmp_path)
    if error is None:
        assert run(mod, paths, tmp_path / "o.mgf", dm, deficit).count(b"BEGIN IONS") == 2
    else:
        with pytest.raises(error, match=message):
            run(mod, paths, tmp_path / "o.mgf", dm, deficit)


def test_rebound_combinations_results_are_unpacked(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    mod.combinations = lambda seq, r: [(1.0, 2.0, 3.0)]
    with pytest.raises(ValueError, match=r"too many values to unpack \(expected 2\)"):
        run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0)
    mod.combinations = lambda seq, r: []  # no pair: the group is a mismatch
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0).count(b"BEGIN IONS") == 2

    # The pairs are taken into a list of the call's own: a pair that empties the list the callee
    # returned while it is being unpacked changes nothing.
    returned = []

    class Pair:
        def __iter__(self):
            returned.clear()
            return iter((1.0, 2.0))

    def combinations(seq, r):
        returned[:] = [Pair(), Pair()]
        return returned

    mod.combinations = combinations
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0).count(b"BEGIN IONS") == 2
