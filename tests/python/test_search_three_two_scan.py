"""find_XL_from_mgf on hand-made three- and two-scan groups: which scan the middle one joins, what
the two scans of one peptide agree on, how candidates pair against the precursor, the record's
class, letters and score, the scans a record uses up, and the hand-off of a group no pair explains."""
import pytest

from helpers.hand_made import HandMade

PARENT = ("686.375", 2)  # MH+ 1371.7421749999999 = 570.25 + 800.5 + linker_deficit 2 - 1.007825
PRECURSOR = "1371.7421749999999\t2\t686.375"
A, B = 500.0, 772.75  # 500 + 772.75 + linker_mass 100 - 1.007825 is the precursor
H, M, L = "High", "Medium", "Low"
# Scores the search reads (1 - q) and the table's q-value column that gives each.
Q = {1.0: "0", 0.995: "0.005", 0.991: "0.009", 0.99: "0.01", 0.97: "0.03", 0.96: "0.04", 0.951: "0.049",
     0.95: "0.05", 0.5: "0.5"}
# Three scans 10, 12, 15 whose first two are A's arm forms (30 apart, linker_dm); two scans 10, 11.
OWN = {3: ["600.25", "570.25", "800.5"], 2: ["570.25", "800.5"]}
SCANS = {3: [10, 12, 15], 2: [10, 11]}
SCAN_TEXT = {3: "10:12:15,9", 2: "10:11,9"}
LETTERS = {3: "H_H", 2: "HH"}  # a High PSM on the first and the last scan only


def psm(f, scan, seq, mass, conf="High", q=1.0, acc="P1", table="ms3"):
    f.psm(scan, seq, mass, conf, q=Q[q], acc=acc, table=table)


def psms(f, scan, rows):
    for r in rows:
        psm(f, scan, *r)


def group(tmp_path, own, scans, parent=PARENT, **linker):
    """MS3 scans of one precursor under MS2 scan 9, each with its own precursor at charge 1 (a scan
    named twice gets two); the parent's peaks hold every own m/z."""
    f = HandMade(tmp_path, **linker)
    f.ms2(9, *parent, peaks=own)
    for s, m in zip(scans, own):
        f.ms3(s, parent, (m, 1))
    return f


def record(cls, letters, scans, a="PEPkA", b="PEPkB", a_prot="P1\td", b_prot="P1\td"):
    return "\t".join([cls, letters, scans, PRECURSOR, a, a_prot, b, b_prot, ""])


def simple(tmp_path, size, a_rows=(("PEPkA", A),), b_rows=(("PEPkB", B),)):
    """A group whose first scan holds `a_rows` and last scan `b_rows`; a three-scan group's middle
    scan has no PSM."""
    f = group(tmp_path, OWN[size], SCANS[size])
    psms(f, 10, a_rows)
    psms(f, SCANS[size][-1], b_rows)
    return f


@pytest.mark.parametrize("own, rows, expected", [
    # Middle scan 12 completes A's arms: A's mass and proteins are read last from it; only the arm
    # it completes reads it, so its PEPkB is not B's.
    (OWN[3], [(10, "PEPkA", 400.0, H, 1.0, "P10A"), (12, "PEPkA", A, M, 1.0, "P12A"), (12, "PEPkB", B, M, 1.0, "P12B"),
              (15, "PEPkB", B, L, 1.0, "P15B")],
     record(H, "HML", "10:12:15,9", a_prot="P12A\td", b_prot="P15B\td")),
    # 830.5 and 800.5 are B's arms: letters scan 10, scan 15, then scan 12.
    (["570.25", "830.5", "800.5"],
     [(10, "PEPkA", A, H, 1.0, "P10A"), (12, "PEPkA", A, M, 1.0, "P12A"), (12, "PEPkB", B, M, 1.0, "P12B"),
      (15, "PEPkB", 700.0, L, 1.0, "P15B")],
     record(H, "HLM", "10:12:15,9", a_prot="P10A\td", b_prot="P12B\td")),
])
def test_the_middle_scan_joins_the_peptide_whose_arms_it_completes(mod, tmp_path, own, rows, expected):
    f = group(tmp_path, own, SCANS[3])
    for r in rows:
        psm(f, *r)
    assert f.search(mod) == {expected: 60.0}


@pytest.mark.parametrize("first, expected", [("600.25", "10:11:12,9"), ("650.25", "11:12:50,9")])
def test_only_a_stored_record_uses_up_its_scans(mod, tmp_path, first, expected):
    # Each of 11 (with 12 and 50) and 12 (with 50 and 51) would start a group that stores: a
    # stored (10, 11, 12) leaves them none; one dropped at its arm test (650.25) leaves 11 free.
    f = group(tmp_path, [first, "570.25", "800.5", "770.5", "570.25"], [10, 11, 12, 50, 51])
    for scan, seq, mass in [(10, "PEPkA", A), (11, "PEPkA", A), (12, "PEPkB", B), (50, "PEPkB", B),
                            (51, "PEPkA", A)]:
        psm(f, scan, seq, mass)
    assert f.search(mod) == {record(H, "HHH", expected): 60.0}


@pytest.mark.parametrize("middle, letters", [
    ("451.1708984375", "H_M"), ("548.8291015625", "H_M"),   # 20 ppm of linker_dm from scan 10, either side
    ("751.1708984375", "HM_"), ("848.8291015625", "HM_"),   # from scan 15: the middle scan is B's
    ("451.1708984365687", None), ("548.8291015634313", None),  # a step further out
    ("751.1708984365687", None), ("848.8291015634313", None),
    ("520.0", None),  # closer together than linker_dm
])
def test_arm_forms_differ_by_linker_dm(mod, tmp_path, middle, letters):
    # linker_dm 48.828125, of which 20 ppm is 2**-10 Da; 500 + 800 explains the precursor.
    f = group(tmp_path, ["500.0", middle, "800.0"], SCANS[3], parent=("651.0", 2), linker_dm=48.828125)
    psm(f, 10, "PEPkA", A)
    psm(f, 15, "PEPkB", 702.0, M)
    assert [text.split("\t")[1] for text in f.search(mod)] == ([letters] if letters else [])


@pytest.mark.parametrize("q, cls, score", [
    ((0.5, 1.0, 0.5, 0.97), M, 29.699999999999996), ((1.0, 0.5, 0.97, 0.5), M, 29.699999999999996),
    ((0.5, 1.0, 0.5, 1.0), H, 60.0), ((1.0, 0.5, 1.0, 0.5), H, 60.0),
])
def test_a_middle_scan_both_arm_pairs_claim_counts_for_a_and_is_read_for_b_too(mod, tmp_path, q, cls, score):
    # 600.25, 570.25 and 540.25 are 30 apart in turn. Letters: scans 10, 12, 15; B's mass and
    # proteins come from scan 12's PEPkB, and its score (b2) enters the sum and B's best.
    a1, a2, b1, b2 = q
    f = group(tmp_path, ["600.25", "570.25", "540.25"], SCANS[3], parent=("571.25", 2))
    psm(f, 10, "PEPkA", A, H, a1)
    psm(f, 12, "PEPkA", A, M, a2, "P12A")
    psm(f, 12, "PEPkB", 542.5, L, b2, "P12B")
    psm(f, 15, "PEPkB", 542.5, H, b1, "P15B")
    assert f.search(mod) == {"\t".join([cls, "HMH", "10:12:15,9", "1141.4921749999999\t2\t571.25", "PEPkA",
                                        "P12A\td", "PEPkB", "P12B\td", ""]): score}



@pytest.mark.parametrize("side, first, second, expected", [
    ("A", [("PEPkA", A)], [("PEPkA", A)], {record(H, "HHH", "10:12:15,9"): 60.0}),
    ("A", [("PEPkA", A), ("PEPkQ", A)], [("PEPkA", A)], {record(H, "HHH", "10:12:15,9"): 60.0}),
    ("A", [("AkAKR", A)], [("AKAkR", A, L)], {}),  # both spellings pair: two A sequences
    # Only the first spelling pairs, at class Medium; the second, read after it, sets a2's slot.
    ("A", [("AkAKR", A, M, 0.96)], [("AKAkR", 450.0, H)], {record(M, "MHH", "10:12:15,9", a="AkAKR"): 59.2}),
    # No agreement: what the High and Medium PSMs say, when only one scan has any.
    ("A", [("PEPkQ", A, L)], [("PEPkA", A, H)], {record(H, "_HH", "10:12:15,9"): 40.0}),
    ("A", [("PEPkA", A, M)], [("PEPkQ", A, L)], {record(H, "M_H", "10:12:15,9"): 40.0}),
    ("A", [("PEPkA", A, L)], [("PEPkQ", A, L)], {}),
    ("A", [("PEPkA", A, H)], [("PEPkQ", A, M)], {}),
    ("A", [("PEPkA", A, L)], [], {record(H, "L_H", "10:12:15,9"): 40.0}),  # scan 12 has no PSM
    ("B", [("PEPkQ", B, L)], [("PEPkB", B, H)], {record(H, "H_H", "10:12:15,9"): 40.0}),
    ("B", [("PEPkB", B, M)], [("PEPkQ", B, L)], {record(H, "HM_", "10:12:15,9"): 40.0}),
])
def test_the_two_scans_of_one_peptide_agree(mod, tmp_path, side, first, second, expected):
    # `first` is scan 10's PSMs for side A, scan 15's for side B; `second` is the middle scan's.
    own = OWN[3] if side == "A" else ["570.25", "830.5", "800.5"]
    f = group(tmp_path, own, SCANS[3])
    psms(f, 10 if side == "A" else 15, first)
    psms(f, 12, second)
    if side == "A":
        psm(f, 15, "PEPkB", B)
    else:
        psm(f, 10, "PEPkA", A)
    assert f.search(mod) == expected


def test_a_read_of_an_absent_middle_scan_puts_it_in_the_psm_table(mod, tmp_path):
    # (10, 11, 12): 11 and 12 are B's arms and the pairing reads 11, which has no PSM; the group
    # is Low (A scores 0.5). That read lets 11 pass the PSM test as the first scan of (11, 12, 50),
    # where it has no sequences and 12's alone are A's.
    f = group(tmp_path, ["800.5", "570.25", "600.25", "800.5"], [10, 11, 12, 50])
    psm(f, 10, "PEPkA", A, q=0.5)
    psm(f, 12, "PEPkX", B)
    psm(f, 50, "PEPkC", A)
    assert f.search(mod) == {record(H, "_HH", "11:12:50,9", a="PEPkX", b="PEPkC"): 40.0}


@pytest.mark.parametrize("size", [3, 2])
@pytest.mark.parametrize("qa, qb, cls, score", [
    (1.0, 1.0, H, 40.0), (0.991, 0.991, H, 39.64), (0.99, 1.0, M, 19.9), (1.0, 0.99, M, 19.9),
    (0.951, 0.96, M, 19.11), (0.95, 1.0, None, None), (1.0, 0.95, None, None),
])
def test_class_and_score(mod, tmp_path, size, qa, qb, cls, score):
    f = simple(tmp_path, size, [("PEPkA", A, H, qa)], [("PEPkB", B, H, qb)])
    assert f.search(mod) == ({record(cls, LETTERS[size], SCAN_TEXT[size]): score} if cls else {})


@pytest.mark.parametrize("size, letters", [(3, "L_L"), (2, "HM")])
@pytest.mark.parametrize("qy, qc, score", [
    (1.0, 1.0, 40.0), (0.991, 0.991, 39.64), (0.99, 1.0, 19.9), (0.95, 1.0, 15.6), (1.0, 0.95, 15.6),
    (0.99, 0.95, 7.76), (0.96, 0.95, 7.64), (0.95, 0.96, 7.64), (0.95, 0.95, 1.9),
])
def test_the_score_takes_the_q_values_of_the_last_candidates_read(mod, tmp_path, size, letters, qy, qc, score):
    # PEPkX with PEPkB is the only pair that explains the precursor (class High); PEPkY and PEPkC
    # are read after them. Three-scan letters are those of the last reads, two-scan letters those
    # of the accepted pair.
    f = simple(tmp_path, size, [("PEPkX", A, H), ("PEPkY", 450.0, L, qy)], [("PEPkB", B, M), ("PEPkC", 700.0, L, qc)])
    assert f.search(mod) == {record(H, letters, SCAN_TEXT[size], a="PEPkX"): score}


@pytest.mark.parametrize("size, score", [(3, 40.0), (2, 80.0)])
def test_only_a_two_scan_record_of_one_peptide_with_itself_scores_double(mod, tmp_path, size, score):
    f = simple(tmp_path, size, [("PEPkA", A)], [("PEPkA", B)])
    assert f.search(mod) == {record(H, LETTERS[size], SCAN_TEXT[size], b="PEPkA"): score}


@pytest.mark.parametrize("a_rows, b_rows, expected", [
    ([("AkAKR", A), ("GGkR", A)], [("AKAkR", B, H, 1.0, "P2"), ("TTkR", B)],
     {record(H, "HH", "10:11,9", "AkAKR", "AKAkR", b_prot="P2\td"): 40.0}),
    ([("GGkR", A), ("PPkR", 400.0)], [("TTkR", B)], {record(H, "HH", "10:11,9", "GGkR", "TTkR"): 40.0}),
    ([("PEPkA", A), ("PEPkQ", A)], [("PEPkA", B)], {record(H, "HH", "10:11,9", "PEPkA", "PEPkA"): 80.0}),
])
def test_two_scan_candidates_are_the_sequences_equal_up_to_case_else_all(mod, tmp_path, a_rows, b_rows, expected):
    assert simple(tmp_path, 2, a_rows, b_rows).search(mod) == expected


@pytest.mark.parametrize("size", [3, 2])
@pytest.mark.parametrize("a_rows, b_rows, a_field", [
    ([("PEPkA", A)], [("PEPkB", B), ("PEPkC", B)], None),
    ([("PEPkA", A), ("PEPkD", A)], [("PEPkB", B)], None),
    ([("PEPkA", A), ("PEPkA ", A)], [("PEPkB", B)], "PEPkA;PEPkA "),  # one sequence once stripped
])
def test_a_record_needs_one_sequence_per_peptide(mod, tmp_path, size, a_rows, b_rows, a_field):
    result = simple(tmp_path, size, a_rows, b_rows).search(mod)
    assert result == ({record(H, LETTERS[size], SCAN_TEXT[size], a=a_field): 40.0} if a_field else {})


@pytest.mark.parametrize("size", [3, 2])
@pytest.mark.parametrize("b_mass, stored", [  # 20 ppm of the precursor is 0.0274348 Da
    (772.7774348, True), (772.7774349, False), (772.7225652, True), (772.7225651, False),
])
def test_a_pair_explains_the_precursor_within_20_ppm(mod, tmp_path, size, b_mass, stored):
    result = simple(tmp_path, size, b_rows=[("PEPkB", b_mass)]).search(mod)
    assert result == ({record(H, LETTERS[size], SCAN_TEXT[size]): 40.0} if stored else {})


def missing(tmp_path, size, cause, last=None):
    """A group of the first scan's PEPkA and the last scan's PEPkB (own m/z `last`, if given) that
    lacks what `cause` names."""
    own = OWN[size][:-1] + [last or OWN[size][-1]]
    f = HandMade(tmp_path)
    f.ms2(9, "700.5" if cause == "no parent" else PARENT[0], 2, peaks=own[:1] if cause == "one peak" else own)
    for i, (s, m) in enumerate(zip(SCANS[size], own)):
        f.ms3(s, PARENT, None if cause == "no msn-1 entry" and i == size - 1 else (m, 1))
    if cause != "no first PSM":
        psm(f, 10, "PEPkA", A)
    if cause != "no last PSM":
        psm(f, SCANS[size][-1], "PEPkB", B)
    return f


@pytest.mark.parametrize("size", [3, 2])
@pytest.mark.parametrize("cause", [None, "no parent", "no msn-1 entry", "one peak", "no first PSM", "no last PSM"])
def test_groups_dropped_before_their_peptides(mod, tmp_path, size, cause):
    expected = {} if cause else {record(H, LETTERS[size], SCAN_TEXT[size]): 40.0}
    assert missing(tmp_path, size, cause).search(mod) == expected


@pytest.mark.parametrize("size, own, scans", [
    (3, ["570.25", "800.5", "600.25", "650.0"], [10, 10, 12, 15]),  # 570.25 and 600.25 are A's arms
    (2, ["570.25", "800.5", "650.0"], [10, 10, 11]),
])
def test_two_own_precursors_of_one_scan_can_explain_the_precursor(mod, tmp_path, size, own, scans):
    f = group(tmp_path, own, scans)  # scan 10 holds 570.25 and 800.5
    psm(f, 10, "PEPkA", A)
    psm(f, scans[-1], "PEPkB", B)
    assert f.search(mod) == {record(H, LETTERS[size], SCAN_TEXT[size]): 40.0}


@pytest.mark.parametrize("before, eleven, later, expected", [
    (None, PARENT, None, {record(H, "HH", "10:11,5"): 40.0}),
    (("700.5", 2), PARENT, None, {record(H, "HH", "10:11,5"): 40.0}),
    # 9, 10 and 11 share the precursor: their three-scan group has no PSM on 9, and 10 follows 9.
    (PARENT, PARENT, None, {}),
    (None, ("700.5", 2), PARENT, {}),  # 10 and 20 share it, 11 does not
])
def test_two_scans_form_a_group_when_set_off_from_their_neighbours(mod, tmp_path, before, eleven, later, expected):
    f = HandMade(tmp_path)
    f.ms2(5, *PARENT, peaks=["650.25", "570.25", "800.5"])
    for scan, parent, own in [(9, before, "650.25"), (10, PARENT, "570.25"), (11, eleven, "800.5"),
                              (20, later, "800.5")]:
        if parent:
            f.ms3(scan, parent, (own, 1))
    psm(f, 10, "PEPkA", A)
    psm(f, 11, "PEPkB", B)
    psm(f, 20, "PEPkB", B)
    assert f.search(mod) == expected


def rescue_recorder(mod, answers):
    calls = []
    mod.Rescue_PrecMismatch_XLs = lambda *a: calls.append(a) or answers[len(calls) - 1]
    return calls


@pytest.mark.parametrize("switch, merged", [("YES", [("R1", 2.5), ("R2", 3.5)]), ("yes", [])])
def test_a_three_scan_group_no_pair_explains_goes_to_the_ms2_search_rescue(mod, tmp_path, switch, merged):
    # 570.25 + 801.5 misses the precursor by 1 Da. The group stores nothing of its own and uses up
    # no scan: 11 then starts (11, 12, 50), which goes the same way.
    f = group(tmp_path, ["600.25", "570.25", "801.5", "770.5"], [10, 11, 12, 50])
    psm(f, 10, "PEPkA", A, H)
    psm(f, 11, "PEPkA", A, M)
    psm(f, 12, "PEPkB", B, L)
    psm(f, 1000011, "PEPkR", B, M, table="rescue")
    calls = rescue_recorder(mod, [{"": 0.0, "R1": 1.5}, {"R1": 2.5, "R2": 3.5}])
    assert list(f.search(mod, MS2_Rescue=switch).items()) == merged
    mh = 1371.7421749999999
    assert [c[:12] for c in calls] == ([
        (3, [600.25], [570.25], [570.25], [801.5], 10, 11, 11, 12, 9, mh, 2),
        (3, [570.25], [801.5], [801.5], [770.5], 11, 12, 12, 50, 9, mh, 2)] if merged else [])
    assert all(c[18:] == (100.0, 2.0) for c in calls)
    if calls:  # the search's three PSM tables, then the rescue search's, each High, High+Medium, all
        assert [sorted(t) for t in calls[0][12:18]] == [[10], [10, 11], [10, 11, 12], [], [1000011], [1000011]]


@pytest.mark.parametrize("switch, merged", [("YES", [("R", 4.0)]), ("yes", [])])
def test_a_two_scan_group_no_pair_explains_goes_to_the_ms2_search_rescue(mod, tmp_path, switch, merged):
    f = missing(tmp_path, 2, None, last="801.5")
    psm(f, 1000011, "PEPkR", B, M, table="rescue")
    calls = rescue_recorder(mod, [{"": 0.0, "R": 4.0}])
    assert list(f.search(mod, MS2_Rescue=switch).items()) == merged
    assert [c[:12] + c[18:] for c in calls] == (
        [(2, [570.25], [801.5], [], [], 10, 11, 10, 11, 9, 1371.7421749999999, 2, 100.0, 2.0)] if merged else [])
    if calls:
        assert [sorted(t) for t in calls[0][12:18]] == [[10, 11], [10, 11], [10, 11], [], [1000011], [1000011]]


@pytest.mark.parametrize("size, cause, called", [
    (3, "no last PSM", True),  # three scans are tested for PSMs only after a pair matched
    (3, "no msn-1 entry", False), (3, "no parent", False),
    (2, "no last PSM", False), (2, "no first PSM", False), (2, "no msn-1 entry", False), (2, "no parent", False),
])
def test_which_groups_reach_the_ms2_search_rescue(mod, tmp_path, size, cause, called):
    f = missing(tmp_path, size, cause, last="801.5")  # 570.25 + 801.5 misses the precursor by 1 Da
    calls = rescue_recorder(mod, [{}])
    assert f.search(mod, MS2_Rescue="YES") == {}
    assert len(calls) == called


@pytest.mark.parametrize("size, remarks", [(3, []), (2, [[]])])
def test_uniq_reduces_candidates_fields_and_stripped_sequences(mod, tmp_path, size, remarks):
    own, lists = mod.uniq, []
    mod.uniq = lambda seq, idfun=None: lists.append(list(seq)) or own(seq)
    assert len(simple(tmp_path, size).search(mod)) == 1
    assert lists[:2] == [["PEPkA"], ["PEPkB"]]  # the candidates
    assert sorted(lists[2:8]) == [["P1"], ["P1"], ["PEPkA"], ["PEPkB"], ["d"], ["d"]]
    assert lists[8:] == [["PEPkA"], ["PEPkB"]] + remarks


def test_a_middle_scan_without_an_own_precursor_drops_only_its_group(mod, tmp_path):
    # 570.25 + 800.5 explains the precursor, but the arm test has no first mass of scan 12 to read:
    # the group is dropped and the search goes on, rather than one bad block ending the fraction.
    f = group(tmp_path, ["570.25", "800.5"], [10, 15])
    f.ms3(12, PARENT, None).msn1_bare(12)
    psm(f, 10, "PEPkA", A)
    psm(f, 15, "PEPkB", B)
    assert f.search(mod) == {}
