"""Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf through the module."""
import hashlib
import itertools
import os
import re

import pytest

from helpers.rescue_fraction import (MS2_MZ, NAME, PROTON, block, fraction, make_fraction, mz_of, partner_mz, run,
                                     two_scan_fraction, write_fraction)


def test_two_scan_blocks_byte_for_byte(mod, tmp_path):
    got = run(mod, two_scan_fraction(tmp_path), tmp_path / "out.mgf", 32.0, 50.0)
    peaks = "99.5 1e-05\n120.08078 311.5\n175.11895 1520.40625\n1303.6551 87.0\nEND IONS\n"
    assert got.decode("utf-8") == (
        'BEGIN IONS\nTITLE=FILE: t "1234" é\nPEPMASS=960.507825\nCHARGE=2+\nRTINSECONDS=1000000\nSCANS=1234.1\n' + peaks +
        'BEGIN IONS\nTITLE=FILE: t "1235" é\nPEPMASS=976.007825\nCHARGE=2+\nRTINSECONDS=1000000\nSCANS=1235.1\n' + peaks)


def test_partner_of_a_negative_charge_is_confirmed_but_not_written(mod, tmp_path):
    # Scan 1235 (charge 5, above the MS2 charge 4) is heavy enough that its partner's MH+ falls
    # below a proton: with charge -1 that partner's m/z comes out positive and is confirmed, but
    # its block (on scan 1234) is not written.
    m2 = 3000.0 - 50.0 + PROTON - 0.5
    peaks = ((partner_mz(m2 - 32.0, 2), 1.0), (partner_mz(m2, 5), 1.0))
    got = run(mod, two_scan_fraction(tmp_path, m2 - 32.0, m2, z2=5, ms2_peaks=peaks), tmp_path / "o.mgf", 32.0, 50.0)
    assert peaks[1][0] > 0 and got.count(b"BEGIN IONS") == 1 and b"SCANS=1235.1\n" in got


def test_synthetic_fractions_give_the_outputs_checked_once_against_a_direct_transcription(mod, tmp_path):
    # The digest was taken of outputs equal to a line-by-line transcription of the algorithm run
    # on the module's reader; any change in any byte of any of the twelve outputs shows here.
    digest, written = hashlib.sha256(), []
    for seed in range(12):
        paths = write_fraction(tmp_path, make_fraction(seed, 150))
        written.append(run(mod, paths, tmp_path / "out.mgf"))
        digest.update(written[-1])
    for needle in ('TITLE=FILE: "', "SCANS=10", ".1\n", "CHARGE=1+", "é"):  # every kind of group wrote
        assert needle.encode() in b"".join(written)
    assert digest.hexdigest() == "71044434bb489faa6b54b81a8445ea5b3aab68fb2ec13642aaa34d5fde00bd82"
    # Rebound, the reader and combinations are called by name, to the same result.
    calls, reader = [], mod.read_ms_Mgf
    mod.read_ms_Mgf = lambda p: calls.append(p) or reader(p)
    mod.combinations = lambda seq, r: list(itertools.combinations(seq, r))
    assert run(mod, paths, tmp_path / "b.mgf") == written[-1]
    assert calls == [paths[1], paths[2], paths[0], paths[3]]  # MS2, MS3, deconvoluted, own precursor


def test_real_spectra(mod, tmp_path, realdata):
    # The MS2-MS3 cluster: MS3 scans 4-7 relabelled with their parent's precursor (MS2 scan 2).
    ms3 = (realdata / "ms2ms3mixed_10226_MS3.mgf").read_text()
    ms3 = re.sub(r"(?m)^PEPMASS=.*$", "PEPMASS=860.390319824219 1", ms3)
    (tmp_path / "ms3.mgf").write_text(re.sub(r"(?m)^CHARGE=.*$", "CHARGE=4+", ms3))
    ms2 = str(realdata / "ms2ms3mixed_10226_MS2.mgf")
    paths = [ms2, ms2, str(tmp_path / "ms3.mgf"), str(realdata / "ms2ms3mixed_10226_MS3.mgf")]
    # With the water deficit the alkene and thiol arms explain the precursor: nothing to rescue.
    # The other deficits put a derived partner pair of scans 6 and 7 on peaks of MS2 scan 2.
    for deficit, partners, digest in (
            (18.01056, [], "e3b0c44298fc1c14"),
            (969.3856201171881, [b"459.2359008789062", b"475.22045898437517"], "a7d6524be6bb6de3"),
            (805.3848876953132, [b"541.2362670898438", b"557.2208251953125"], "1272e95e065f7e5b")):
        got = run(mod, paths, tmp_path / "out.mgf", 31.97207, deficit)
        assert re.findall(rb"PEPMASS=(.*)\n", got) == partners and hashlib.sha256(got).hexdigest()[:16] == digest
        assert re.findall(rb"SCANS=(.*)\n", got) == [b"6", b"7"][:len(partners)]
        assert got.count(b'TITLE=FILE: "ms2ms3mixed_10226.') == len(partners)


@pytest.mark.parametrize("scans, masses", [
    ((20, 21), (1000.0, 1031.0)),
    ((20, 25, 30), (1000.0, 1032.0, 1064.0)),
    ((20, 21, 22, 23), (1000.0, 1032.0, 900.0, 932.0)),
])
def test_group_with_an_incomplete_own_precursor_is_dropped(mod, tmp_path, scans, masses):
    # Complete, every pair of the group is written; with the last scan's own block incomplete (no
    # precursor, no title) the whole group is dropped, also the pairs that do not read it.
    def paths(incomplete=()):
        return fraction(
            tmp_path, ms2=[block("p", repr(MS2_MZ), 4, 10, [(partner_mz(m, 2), 1.0) for m in masses])],
            ms3=[block("m", repr(MS2_MZ), 4, s) for s in scans],
            own=[block("o%d" % s, repr(mz_of(m, 2)), 2, s, charge_line=s not in incomplete) for s, m in zip(scans, masses)],
            deconv=[block("d", "1", 1, 10, [(100.0, 1.0)])])

    assert run(mod, paths(), tmp_path / "o.mgf", 32.0, 50.0).count(b"BEGIN IONS") == {2: 2, 3: 4, 4: 4}[len(scans)]
    assert run(mod, paths(scans[-1:]), tmp_path / "o.mgf", 32.0, 50.0) == b""


@pytest.mark.parametrize("parent, scans, own, deficit, error", [
    # The parent's header is read m/z first; a two-scan group reads it before its own scans.
    (("abc", "x"), (20, 21), ("abc", "x"), 50.0, (ValueError, "could not convert string to float: 'abc'")),
    (("abc", "x"), (20, 21, 22, 23), ("500.0", 2), 50.0, (ValueError, "could not convert string to float: 'abc'")),
    # Four- and three-scan groups read their own scans first, each charge first.
    (("abc", "x"), (20, 21, 22, 23), ("abc", "x"), 50.0, (ValueError, r"invalid literal for int\(\) with base 10: 'x'")),
    # Parent and MS3 blocks that never complete: equal empty lists, and no precursor to read.
    (("700.0", None), (10, 11), ("600.0", 1), 50.0, None),
])
def test_groups_that_fail_at_the_first_value_read_or_end_without_a_precursor(mod, tmp_path, parent, scans, own, deficit, error):
    (mz, z), (own_mz, own_z) = parent, own
    paths = fraction(tmp_path, ms2=[block("p", mz, z, 5, [(976.0, 1.0), (960.5, 1.0)], z is not None)],
                     ms3=[block("m", mz, z, s, charge_line=z is not None) for s in scans],
                     own=[block("o", own_mz, own_z, s) for s in scans])
    if error is None:
        assert run(mod, paths, tmp_path / "o.mgf", 32.0, deficit) == b""
    else:
        with pytest.raises(error[0], match=error[1]):
            run(mod, paths, tmp_path / "o.mgf", 32.0, deficit)


def test_a_parent_of_mh_0_explains_every_group(mod, tmp_path):
    # m/z 0 at charge 1 is an MH+ of exactly 0, against which no pair can be measured: the group is
    # left alone, so a linker_dm of 0 is never divided by; a deficit that is no number still fails
    # at the group's first pair.
    paths = fraction(tmp_path, ms2=[block("p", "0", 1, 5, [(976.0, 1.0)])], ms3=[block("m", "0", 1, s) for s in (10, 11)],
                     own=[block("o", mz, 1, s) for s, mz in ((10, "600.0"), (11, "700.0"))])
    assert run(mod, paths, tmp_path / "o.mgf", 0, 50.0) == b""
    with pytest.raises(TypeError, match=r"for \+: 'float' and 'NoneType'"):
        run(mod, paths, tmp_path / "o.mgf", 0, None)


def test_a_rebound_readers_tables_are_read_as_the_host_reads_them(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    expected, own = run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0), mod.read_ms_Mgf

    def reader(path):
        table = own(path)
        for key in ("title", "header", "ion_mass"):  # what reads of a missing scan leave: ""
            table[5][key]
        if path != paths[2]:  # a key no lookup by scan number finds (the MS3 walk would refuse it)
            table[1234.5]["header"] = ["1 1"]
        return table

    mod.read_ms_Mgf = reader
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0) == expected


def test_a_failed_run_leaves_the_old_output_and_no_other_file(mod, tmp_path):
    paths, out = two_scan_fraction(tmp_path), tmp_path / "o.mgf"
    out.write_text("old content")
    names = sorted(p.name for p in tmp_path.iterdir())
    # A malformed own precursor fails the run in the middle of the walk; a missing input fails
    # before anything is written.
    good_own = open(paths[3]).read()
    open(paths[3], "w").write(good_own.replace("CHARGE=2+\nSCANS=1235", "CHARGE=x+\nSCANS=1235"))
    with pytest.raises(ValueError, match="invalid literal for int"):
        run(mod, paths, out, 32.0, 50.0)
    with pytest.raises(FileNotFoundError):
        run(mod, [paths[0], str(tmp_path / "nope.mgf"), *paths[2:]], out)
    assert out.read_text() == "old content" and sorted(p.name for p in tmp_path.iterdir()) == names
    open(paths[2], "w").close()  # no MS3 scan: an empty file
    assert run(mod, paths, out) == b""


def test_an_output_naming_an_input_is_refused(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    getattr(mod, NAME)(*paths, os.path.join(os.fsencode(tmp_path), b"\xfe.mgf"), 32.0, 50.0)  # a name not UTF-8
    assert open(tmp_path / "\udcfe.mgf", "rb").read().count(b"BEGIN IONS") == 2
    before = [open(p, "rb").read() for p in paths]
    for i, p in enumerate(paths):  # the input's own name, a link to it, another spelling of it
        (tmp_path / ("alias%d" % i)).symlink_to(p)
        for spec_file in (p, str(tmp_path / ("alias%d" % i)), os.path.join(tmp_path, ".", os.path.basename(p))):
            with pytest.raises(ValueError, match="same file"):
                getattr(mod, NAME)(*paths, spec_file, 32.0, 50.0)
    assert [open(p, "rb").read() for p in paths] == before


def test_keyword_call_and_missing_names(mod, tmp_path):
    paths, out = two_scan_fraction(tmp_path), tmp_path / "kw.mgf"
    getattr(mod, NAME)(*paths[:2], MS3_file_path=paths[2], msn_1_MS3_path=paths[3], spec_file=str(out),
                       linker_dm=32, linker_deficit=50)
    assert out.read_bytes().count(b"BEGIN IONS") == 2
    for name in ("combinations", "read_ms_Mgf"):  # deleted in turn; the reader is looked up first
        delattr(mod, name)
        with pytest.raises(NameError, match="name '%s' is not defined" % name):
            run(mod, paths, out, 32.0, 50.0)


@pytest.mark.parametrize("dm, deficit, pairs, error, message", [
    ("x", 50.0, None, TypeError, r"unsupported operand type\(s\) for -: 'str' and 'float'"),
    (0, 50.0, None, ZeroDivisionError, "float division by zero"),
    (32.0, 2 ** 1100, None, OverflowError, "int too large to convert to float"),
    (32.0, 50.0, [(1.0, 2.0, 3.0)], ValueError, r"too many values to unpack \(expected 2\)"),
])
def test_linker_arguments_and_rebound_pairs_that_are_unusable(mod, tmp_path, dm, deficit, pairs, error, message):
    if pairs is not None:
        mod.combinations = lambda seq, r: pairs
    with pytest.raises(error, match=message):
        run(mod, two_scan_fraction(tmp_path), tmp_path / "o.mgf", dm, deficit)


def test_rebound_combinations_results_are_unpacked_from_a_list_of_the_calls_own(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    mod.combinations = lambda seq, r: []  # no pair: the group is a mismatch
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0).count(b"BEGIN IONS") == 2
    returned = []  # a pair that empties the list the callee returned while it is unpacked changes nothing
    pair = type("Pair", (), {"__iter__": lambda self: returned.clear() or iter((1.0, 2.0))})
    mod.combinations = lambda seq, r: returned.extend([pair(), pair()]) or returned
    assert run(mod, paths, tmp_path / "o.mgf", 32.0, 50.0).count(b"BEGIN IONS") == 2
