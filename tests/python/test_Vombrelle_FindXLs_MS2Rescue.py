"""Vombrelle_FindXLs_MS2Rescue on the driver's PSM tables: what its reads leave in them, plain maps,
result types and its calls of uniq by name; its tiers, the agreement of each side's arm scans, the
pairing, the q-value bands, classes, scores and records on small tables of the PSM reader."""
from collections import defaultdict

import pytest

from helpers.outcome import outcome
from helpers.psm import LINKER, header, row
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


# --- Tiers, arm agreement, pairing, q-value bands and classes, on the readers' tables ---------

# Percolator q-values whose rescaled values (1 - q) are exact: 1.0 (high band), 0.96875 (medium),
# 0.5 (low) and 0.0 (no band).
H, M, L, N = 0, 0.03125, 0.5, 1
B_OTHER = B_MASS + 50  # a B sequence of this mass pairs with nothing


def q_export(mod, *psms):
    """The three tables of an export with a q-value column. A PSM is (scan, sequence, mass, q[,
    confidence[, ambiguity[, accessions[, descriptions]]]])."""
    def line(scan, seq, mass, q, conf="High", ambig="Unambiguous", acc="P1", desc="d"):
        return row(scan=str(scan), conf=conf, ambig=ambig, seq=seq, acc=acc, desc=desc, mass=repr(mass), qval=repr(q))
    return mod.read_PD_PSM_results([header(qval=True)] + [line(*p) for p in psms], {}, *LINKER)


def uniq_inputs(mod):
    """Rebinds uniq to the module's own one noting its inputs; the list of inputs."""
    seen, own = [], mod.uniq
    mod.uniq = lambda seq, idfun=None: seen.append(list(seq)) or own(seq)
    return seen


def is_no_record(result):
    return result == ("", 0) and type(result[1]) is int


def rescued(xl_class, letters, b_seq="GGkR", remarks="MS2_Rescued_XL", a_ids="P1\td", b_ids="P1\td"):
    return "\t".join([xl_class, letters, "51:52:53.1:54.1,50", "2157.742175", "3", "719.919275", "AkDEFR", a_ids,
                      b_seq, b_ids, remarks])


@pytest.mark.parametrize("q, xl_class, score", [
    ((H, N, H, N), "High", 40.0),       # 18 and 18 points: x20
    ((M, M, H, N), "Medium", 29.375),   # 16 and 18: x10, one side reaches 18
    ((H, N, M, M), "Medium", 29.375),
    ((H, L, M, L), "Medium", 29.6875),  # 21 and 11
    ((M, M, M, M), "Medium", 31.0),     # 16 and 16: x8
    ((M, N, M, N), "Medium", 15.5),     # 8 and 8
    ((L, L, M, N), "Low", 3.9375),      # 6 and 8: x2
    ((M, N, L, L), "Low", 3.9375),
    ((H, N, L, L), "Low", 8.0),         # 18 and 6: x4
    ((L, L, H, N), "Low", 8.0),
    ((L, L, L, L), "Low", 2.0),         # 6 and 6: the plain sum
    ((L, N, L, L), "Very_low", 1.5),    # 3 and 6
    ((L, L, L, N), "Very_low", 1.5),
    ((H, H, L, N), "Very_low", 2.5),    # 36 and 3
])
def test_class_and_score_from_each_peptides_points(mod, q, xl_class, score):
    tables = (q_export(mod, (51, A, A_MASS, q[0], "High", "Unambiguous", "PA", "da"),
                       (52, A, A_MASS, q[1], "High", "Unambiguous", "PA", "da"))
              + q_export(mod, (53, B, B_MASS, q[2], "High", "Unambiguous", "PB", "db"),
                         (54, B, B_MASS, q[3], "High", "Unambiguous", "PB", "db")))
    record, got = build(mod, tables)
    assert record == rescued(xl_class, "HHHH", a_ids="PA\tda", b_ids="PB\tdb")
    assert got == score and type(got) is float


@pytest.mark.parametrize("side", ["A", "B"])
@pytest.mark.parametrize("qval, xl_class, score", [
    (0.9900000000000001, "High", 79.60000000000001),  # above 0.99: 18 points a scan
    (0.99, "Medium", 39.8),                           # up to 0.99, above 0.95: 8
    (0.9500000000000001, "Medium", 39.0),
    (0.95, "Low", 15.6),                              # up to 0.95, above 0: 3
    (5e-324, "Low", 8.0),
    (0, "Very_low", 2.0),                             # 0: none
])
def test_q_value_bands_at_their_bounds(mod, side, qval, xl_class, score):
    # The side under test has the q-value on both scans, the other side 1.0 on both (36 points).
    def scan(seq, mass, q):
        return {"pep_seq": [seq], "selected_pep": [seq], seq: {"ptn_accesion": ["P1"], "ptn_description": ["d"],
                                                                "pep_mass": mass, "confidence": "High", "qval": q}}
    qa, qb = (qval, 1.0) if side == "A" else (1.0, qval)
    ms3 = {51: scan(A, A_MASS, qa), 52: scan(A, A_MASS, qa)}
    rescue = {53: scan(B, B_MASS, qb), 54: scan(B, B_MASS, qb)}
    record, got = build(mod, [ms3, {}, None, rescue, {}, None])
    assert record.split("\t")[:2] == [xl_class, "HHHH"] and got == score


# Side A (scans 51 and 52) selects AkDEFR in the MS3 search; side B's two arm scans in the rescue
# search vary. PSMs are (scan, sequence, mass[, confidence[, ambiguity]]); no q-value column, so a
# High PSM is 0.99 (8 points) and a Medium one 0.95 (3 points).
SIDE_A = ((51, A, A_MASS), (52, A, A_MASS))
REJECTED = ("High", "Rejected")


@pytest.mark.parametrize("b_psms, candidates, expected", [
    # Both select the same sequence.
    ([(53, B, B_MASS), (53, "GGkX", B_MASS), (54, B, B_MASS)], [B], ("HHHH", B, 31.68)),
    # Selections equal when upper-cased: both kept, b1's first; only b1's pairs, before b2 was
    # read, so b2 counts 0.
    ([(53, "GGkaz", B_MASS), (54, "GGkAZ", B_OTHER)], ["GGkaz", "GGkAZ"], ("HHHH", "GGkaz", 23.759999999999998)),
    # Different selections, equal lists of sequences: the whole list.
    ([(53, B, B_MASS, *REJECTED), (53, "GGkX", B_OTHER), (54, B, B_MASS), (54, "GGkX", B_OTHER)],
     [B, "GGkX"], ("HHHH", B, 31.68)),
    # Different selections and lists sharing a sequence: the shared one, once per matching pair.
    ([(53, "GGkY", B_OTHER), (53, B, B_MASS), (54, "GGkZ", B_OTHER), (54, B, B_MASS), (54, B, B_MASS)],
     [B, B], ("HHHH", B, 31.68)),
    # b1 selects nothing (its only PSM rejected) and shares nothing: b2's selection.
    ([(53, "GGkX", B_OTHER, *REJECTED), (54, B, B_MASS)], [B], ("HH_H", B, 23.759999999999998)),
    # b2 selects nothing: b1's selection.
    ([(53, B, B_MASS), (54, "GGkX", B_OTHER, *REJECTED)], [B], ("HHH_", B, 23.759999999999998)),
    # Neither selects: no candidate, yet the side counts as agreed, so each tier pairs nothing and
    # de-duplicates its six empty lists.
    ([(53, B, B_MASS, *REJECTED), (54, "GGkX", B_MASS, *REJECTED)], [], 2 * ([[A], []] + 6 * [[]])),
    # Both select, nothing shared: the disagreement skips the pairing in both tiers.
    ([(53, B, B_MASS), (54, "GGkZ", B_MASS)], [], 2 * [[A], []]),
    # Only b1 identified: its selection; b2 is read all the same and counts 0.
    ([(53, B, B_MASS)], [B], ("HHH_", B, 23.759999999999998)),
    # Only b1 identified, without a selection: no candidate, and no pairing.
    ([(53, B, B_MASS, *REJECTED)], [], 2 * [[A], []]),
    # Disagreeing in the High tables, agreeing on a shared sequence in the High and Medium ones:
    # the record comes from the second tier and keeps the first one's remark.
    ([(53, B, B_MASS), (54, "GGkZ", B_OTHER), (54, B, B_MASS, "Medium")],
     [], ("HHHM", B, 31.36, "different_pep_B_seqs;MS2_Rescued_XL")),
])
def test_rescue_sides_arm_scans_agree(mod, b_psms, candidates, expected):
    tables = export(mod, *SIDE_A) + export(mod, *b_psms)
    seen = uniq_inputs(mod)
    result = build(mod, tables)
    assert seen[:2] == [[A], candidates]  # the first tier's candidates of side A and side B
    if type(expected[0]) is list:  # no record: all the calls of uniq
        assert is_no_record(result) and seen == expected
    else:
        letters, b_seq, score, *remarks = expected
        assert result == (rescued("Medium", letters, b_seq, *remarks), score)


def test_remarks_of_the_first_tier_stay_with_a_record_of_the_second(mod):
    # Both sides disagree in the High tables; a Medium PSM of each side's second scan agrees.
    tables = (export(mod, (51, A, A_MASS), (52, "AkDEFZ", A_MASS), (52, A, A_MASS, "Medium"))
              + export(mod, (53, B, B_MASS), (54, "GGkZ", B_MASS), (54, B, B_MASS, "Medium")))
    assert build(mod, tables) == (
        rescued("Medium", "HMHM", remarks="different_pep_A_seqs;different_pep_B_seqs;MS2_Rescued_XL"), 31.04)


def test_a_match_in_the_first_tier_ends_the_cascade(mod):
    # a2 is only in the High and Medium table: the second tier would read it there.
    tables = export(mod, (51, A, A_MASS), (52, A, A_MASS, "Medium")) + export(mod, (53, B, B_MASS), (54, B, B_MASS))
    med_high = shapes([tables[1], tables[4]])
    assert build(mod, tables) == (rescued("Medium", "H_HH"), 23.759999999999998)
    assert list(tables[0]) == [51, 52] and list(tables[0][52].items()) == [("pep_seq", "")]
    assert shapes([tables[1], tables[4]]) == med_high


def test_the_second_tier_reads_the_high_and_medium_tables_of_both_searches(mod):
    # Side A has no High PSM, so the first tier's gate fails; b2 is Medium in the rescue search.
    tables = (export(mod, (51, A, A_MASS, "Medium"), (52, A, A_MASS, "Medium"))
              + export(mod, (53, B, B_MASS), (54, B, B_MASS, "Medium")))
    high = shapes([tables[0], tables[3]])
    assert build(mod, tables) == (rescued("Low", "MMHM"), 7.68)  # 6 and 11 points: x2
    assert shapes([tables[0], tables[3]]) == high


def test_two_peptides_matched_in_the_first_tier_end_the_call(mod):
    # a1 and a2 share both sequences, which both pair with GGkR: no record, and no second tier.
    tables = export(mod, (51, A, A_MASS), (51, "AkDEFX", A_MASS), (52, "AkDEFX", A_MASS), (52, A, A_MASS)) + export(
        mod, (53, B, B_MASS))
    assert is_no_record(build(mod, tables))
    assert list(tables[3]) == [53, 54] and list(tables[4]) == [53]


@pytest.mark.parametrize("b_psms", [
    # b1 and b2 select different sequences that both carry: two B peptides pair.
    [(53, B, B_MASS), (53, "GGkY", B_MASS), (54, "GGkY", B_MASS), (54, B, B_MASS)],
    [(53, B, B_MASS, "Low"), (54, B, B_MASS, "Low")],  # only the tables of all PSMs know side B
])
def test_no_record_without_exactly_one_peptide_b_in_the_tiers(mod, b_psms):
    assert is_no_record(build(mod, export(mod, *SIDE_A) + export(mod, *b_psms)))


def test_every_matched_pair_counts_anew_with_the_latest_reads(mod):
    # GGkR and "GGkR " (one peptide, surrounding space aside) both pair with AkDEFR. b1 and b2
    # carry both with different accessions: b2's are kept. The second pair's reads of b1 and b2
    # give 0.0, and its count replaces the first pair's 36 points.
    tables = (q_export(mod, (51, A, A_MASS, H, "High", "Unambiguous", "PA", "da"),
                       (52, A, A_MASS, H, "High", "Unambiguous", "PA", "da"))
              + q_export(mod, (53, B, B_MASS, H, "High", "Unambiguous", "PB1", "db1"),
                         (53, B + " ", B_MASS, N, "High", "Unambiguous", "PB1", "db1"),
                         (54, B + " ", B_MASS, N, "High", "Unambiguous", "PB2", "db2"),
                         (54, B, B_MASS, H, "High", "Unambiguous", "PB2", "db2")))
    seen = uniq_inputs(mod)
    assert build(mod, tables) == (rescued("Very_low", "HHHH", "GGkR;GGkR ", a_ids="PA\tda", b_ids="PB2\tdb2"), 2.0)
    assert [A, A] in seen and [B, B + " "] in seen  # the matched pairs' sequences, before de-duplication


def test_a_tier_whose_gate_fails_adds_no_remark(mod):
    # Side A disagrees in the High table, but side B is only in the rescue search's High and Medium
    # table: the first tier does nothing. In the second, a2's Medium PSM agrees with a1.
    tables = (export(mod, (51, A, A_MASS), (52, "AkDEFZ", A_MASS), (52, A, A_MASS, "Medium"))
              + export(mod, (53, B, B_MASS, "Medium"), (54, B, B_MASS, "Medium")))
    seen = uniq_inputs(mod)
    assert build(mod, tables) == (rescued("Low", "HMMM"), 7.68)  # 11 and 6 points: x2
    assert seen[:2] == [[A], [B]]  # the second tier's candidates come first
