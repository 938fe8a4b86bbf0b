"""Vombrelle_FindXLs_MS2Rescue on the driver's PSM tables: what its reads leave in them, plain maps,
result types and its calls of uniq by name. The tiers, scores and records are the core tests'."""
from collections import defaultdict

import pytest

from helpers.outcome import outcome
from helpers.rescue_tables import A_MASS, B_MASS, LINKER_MASS, MS2_MASS, export, plain, shapes

A, B = "AkDEFR", "GGkR"
RECORD = "Medium\tH_H_\t51:52:53.1:54.1,50\t2157.742175\t3\t719.919275\tAkDEFR\tP1\td\tGGkR\tP1\td\tMS2_Rescued_XL"
SCORE = ((0.99 + 0) + (0.99 + 0)) * 8  # a1 and b1 read, a2 and b2 never


def build(mod, tables, scans=(51, 52, 53, 54)):
    return mod.Vombrelle_FindXLs_MS2Rescue(*scans, 50, MS2_MASS, 3, *tables, LINKER_MASS)


def one_arm_scan_each(mod):
    """Only a1 (51) and b1 (53) are identified: the pairing reads a2 and b2 all the same."""
    return export(mod, (51, A, A_MASS)) + export(mod, (53, B, B_MASS))


@pytest.fixture(params=["own uniq", "rebound uniq"])
def calls(request, mod):
    """The builder with the module's own uniq (all native), or with one rebound to a wrapper of it."""
    seen = []
    if request.param == "rebound uniq":
        own = mod.uniq
        mod.uniq = lambda seq, idfun=None: seen.append(list(seq)) or own(seq)
    return seen


def test_reads_of_absent_scans_leave_entries_as_the_hosts_reads_would(mod, calls):
    tables = one_arm_scan_each(mod)
    before = shapes(tables)
    assert build(mod, tables) == (RECORD, SCORE)
    for t, found, read in ((tables[0], 51, 52), (tables[3], 53, 54)):
        assert list(t) == [found, read]
        assert type(t[read]) is defaultdict and list(t[read].items()) == [("pep_seq", "")]
    # Tier 2 never ran, and membership tests insert nothing.
    assert shapes(tables)[1:3] + shapes(tables)[4:] == before[1:3] + before[4:]
    if calls:
        assert calls[0] == [A] and calls[-1] == ["MS2_Rescued_XL"]
    # A later call finds a2 and b2 as scans without PSMs, and reads their selection too.
    assert build(mod, tables) == (RECORD, SCORE)
    assert list(tables[0][52].items()) == list(tables[3][54].items()) == [("pep_seq", ""), ("selected_pep", "")]


def test_entries_left_by_earlier_reads_are_read_as_such(mod, calls):
    # a2 holds an empty entry (an earlier read of it), b2 only a rejected PSM: both count as found.
    tables = export(mod, (51, A, A_MASS)) + export(mod, (53, B, B_MASS), (54, B, B_MASS, "High", "Rejected"))
    tables[0][52]
    record, score = build(mod, tables)
    assert record.split("\t")[:2] == ["Medium", "H_HH"] and score == ((0.99 + 0) + (0.99 + 0.99)) * 8
    assert list(tables[0][52].items()) == [("selected_pep", ""), ("pep_seq", "")]
    assert list(tables[3][54]) == ["pep_seq", B, "selected_pep"] and tables[3][54]["selected_pep"] == ""


@pytest.mark.parametrize("case, error, uniq_calls_before", [
    ("a2 absent", KeyError(52), 2),                # the pairing reads it, after the candidates' uniq
    ("b2 rejected", KeyError("selected_pep"), 0),  # its entry has no selection to read
    ("both identified", None, None),               # nothing to insert: as the default-inserting tables
])
def test_plain_dicts_raise_key_error_where_a_read_would_insert(mod, case, error, uniq_calls_before, calls):
    def tables():
        b2 = (54, B, B_MASS, "High", "Rejected" if case == "b2 rejected" else "Unambiguous")
        return export(mod, (51, A, A_MASS), *[(52, A, A_MASS)] * (case != "a2 absent")) + export(mod, (53, B, B_MASS), b2)
    expected = outcome(lambda: build(mod, tables()))
    expected_calls = calls[:]
    calls.clear()
    got = outcome(lambda: build(mod, [plain(t) for t in tables()]))
    assert expected[0] == "ok"
    assert got == (expected if error is None else ("error", "KeyError", str(error)))
    # The call stops at the read that raises: a rebound uniq sees nothing after it.
    assert calls == expected_calls[:uniq_calls_before]


def test_result_types(mod):
    assert outcome(lambda: build(mod, export(mod) + export(mod))) == outcome(lambda: ("", 0))
    # A driver's own table whose q-values are the integer 0 scores the integer 0.
    record = {"ptn_accesion": ["P9"], "ptn_description": ["x"], "pep_mass": A_MASS, "confidence": "High", "qval": 0}
    ms3 = {s: {"pep_seq": [A], "selected_pep": [A], A: record} for s in (51, 52)}
    rescue = {s: {"pep_seq": [B], "selected_pep": [B], B: dict(record, pep_mass=B_MASS)} for s in (53, 54)}
    xl, score = build(mod, [ms3, {}, None, rescue, {}, None])  # the tables of all PSMs are never read
    assert xl.startswith("Very_low\tHHHH\t") and type(score) is int and score == 0


def test_rebound_uniq_decides_with_what_it_returns(mod):
    tables = one_arm_scan_each(mod)
    mod.uniq = lambda seq, idfun=None: list(seq) + ["other"]  # never one sequence
    assert build(mod, tables) == ("", 0)
    mod.uniq = lambda seq, idfun=None: [1]
    with pytest.raises(TypeError, match=r"^uniq\(\) returned "):
        build(mod, one_arm_scan_each(mod))
    # Failing after the pairing's reads, the call leaves what they inserted in the driver's tables.
    tables = one_arm_scan_each(mod)
    mod.uniq = lambda seq, idfun=None: [1] if seq == ["MS2_Rescued_XL"] else seq
    with pytest.raises(TypeError, match=r"^uniq\(\) returned "):
        build(mod, tables)
    assert list(tables[0]) == [51, 52] and list(tables[3]) == [53, 54]


def test_sequences_equal_when_upper_cased_by_the_host(mod, calls):
    # "ß".upper() is "SS": a1's and a2's selections agree only by the host's upper-casing, and
    # only a1's sequence has the mass that pairs, so a record is built from it.
    tables = export(mod, (51, "ßkR", A_MASS), (52, "SSkR", A_MASS + 50)) + export(mod, (53, B, B_MASS))
    record, _ = build(mod, tables)
    assert record.split("\t")[6] == "ßkR"


RECORD_FIELDS = {"ptn_accesion": ["P"], "ptn_description": ["d"], "pep_mass": 1.0, "confidence": "High", "qval": 0.5}


@pytest.mark.parametrize("position, value, error, message", [
    (7, {51: {"pep_seq": [A], A: {k: v for k, v in RECORD_FIELDS.items() if k != "qval"}}}, TypeError,
     "Vombrelle_FindXLs_MS2Rescue() argument 'match_dict_high' is a PSM table whose scan 51 has a PSM record "
     'without "qval"'),
    (10, {53: {"pep_seq": [B], B: dict(RECORD_FIELDS, ptn_accesion=["P1", "P2"])}}, TypeError,
     "Vombrelle_FindXLs_MS2Rescue() argument 'MS2_match_dict_high' is a PSM table whose scan 53 has a PSM record "
     'whose "ptn_accesion" is not a list of one str'),
    (8, [51], TypeError, "Vombrelle_FindXLs_MS2Rescue() argument 'match_dict_med_high' is list, not a PSM table"),
    (4, 2 ** 64, OverflowError, "int too large to convert to a 64-bit integer"),
])
def test_values_the_native_tables_cannot_hold_are_refused(mod, position, value, error, message):
    args = [51, 52, 53, 54, 50, MS2_MASS, 3, {}, {}, {}, {}, {}, {}, LINKER_MASS]
    args[position] = value
    with pytest.raises(error) as info:
        mod.Vombrelle_FindXLs_MS2Rescue(*args)
    assert str(info.value) == message
