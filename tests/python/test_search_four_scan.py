"""find_XL_from_mgf on hand-made four-scan groups: which PSM table a group's peptides come from and
which of its scans are read, when the two arm scans of a peptide agree, the pairing against the
precursor, the record's thirteen fields, its class and score, and what the lookups' reads leave in
the PSM tables.

The group: MS2 scan 9 over MS3 scans 10 (a1), 11 (a2), 12 (b1), 13 (b2), all at charge 1; a1 with
b2 and a2 with b1 explain the precursor. PEPkA (500 Da) and PEPkB pair with the 100 Da linker."""
import pytest

from helpers.hand_made import PROTON, HandMade

# No two MS3 masses of these groups differ by this, so a group that stores nothing is not re-formed
# into a three-scan group that stores (or reads) anything.
QUIET_DM = 7.0
OWN = (600.25, 570.25, 800.5, 770.5)
PREC = 570.25 + 800.5 + 2.0 - PROTON
MASS = {"PEPkA": 500.0, "pEPkA": 500.0, "PEPkA ": 500.0, "PEPkC": 500.0,
        "PEPkB": PREC - 600.0 + PROTON, "pEPkB": PREC - 600.0 + PROTON, "PEPkX": 700.0}
ROLE = {"a1": 0, "a2": 1, "b1": 2, "b2": 3}
BOTH = ["PEPkA\tP1\td", "PEPkB\tP1\td"]  # fields 7 to 12 of the plain pair


def group(f, rows, first=10, own=OWN, prec=PREC, charge=1, parent=None):
    """A four-scan group from `first` under its parent MS2 scan, and its PSMs: (role, sequence,
    confidence, q-value text, changes to HandMade.psm). The mass is the sequence's own unless
    changed."""
    f.ms2(first - 1 if parent is None else parent, prec, charge, peaks=own)
    for i, m in enumerate(own):
        f.ms3(first + i, (prec, charge), (m, 1))
    for role, seq, conf, q, *more in rows:
        changes = dict(more[0]) if more else {}
        f.psm(first + ROLE[role], seq, changes.pop("mass", MASS.get(seq)), conf, q=q, **changes)
    return f


def made(tmp_path, rows, **linker):
    return group(HandMade(tmp_path, **{"linker_dm": QUIET_DM, **linker}), rows)


def all_four(conf="High", q="0"):
    return [(r, "PEPkA" if r[0] == "a" else "PEPkB", conf, q) for r in ROLE]


def record(cls, letters, peptides=BOTH, remarks="", scans="10:11:12:13,9", precursor="1371.742175\t1\t1371.742175"):
    return "\t".join([cls, letters, scans, precursor, *peptides, remarks])


def mismatched(f, first, prec=2000.0):
    """Four MS3 scans from `first` under MS2 scan first - 1 whose masses explain no precursor, not
    even within the isotope window: a group handed to the MS2-search rescue."""
    f.ms2(first - 1, prec, 1, peaks=[100.0])
    for i in range(4):
        f.ms3(first + i, (prec, 1), (100.0, 1))
    return f


def left_by_reads(table):
    """The empty texts that reads of absent scans and keys left: scan -> those keys, in order."""
    return {s: [k for k, v in e.items() if v == ""] for s, e in table.items() if "" in e.values()}


def search_and_tables(mod, f, inject=()):
    """The search's map, and what its reads left in the MS3 search's three tables as a last group
    (scans 100 to 103), which no pair explains, hands them to the MS2-search rescue. `inject`:
    (table index, scan) read once in the reader's tables before the search, as an earlier read
    would leave it."""
    mismatched(f, 100)
    own_reader, seen = mod.read_PD_PSM_results_tsv_wrapper, []
    path = f.arguments()["PD_result_path"]

    def reader(p, *a):
        tables = own_reader(p, *a)
        for i, scan in inject if p == path else ():
            tables[i][scan]
        return tables

    def rescue(*a):
        seen.append([left_by_reads(t) for t in a[12:15]])
        return {}
    mod.read_PD_PSM_results_tsv_wrapper = reader
    mod.Rescue_PrecMismatch_XLs = rescue
    result = f.search(mod, MS2_Rescue="YES")
    return dict(result), seen[0]


def test_a_group_of_four_high_psms_is_one_record(mod, tmp_path):
    result = made(tmp_path, all_four()).search(mod)
    assert list(result.items()) == [
        ("High\tHHHH\t10:11:12:13,9\t1371.742175\t1\t1371.742175\tPEPkA\tP1\td\tPEPkB\tP1\td\t", 80.0)]


@pytest.mark.parametrize("rows, expected", [
    # One arm scan of a side in the High table speaks for its peptide; the other is read, has no
    # PSM and keeps "_" and the q-value 0.
    (["a1", "b1"], {record("High", "H_H_"): 40.0}),
    (["a2", "b2"], {record("High", "_H_H"): 40.0}),
    (["a1", "b2"], {record("High", "H__H"): 40.0}),
    (["a2", "b1"], {record("High", "_HH_"): 40.0}),
    (["a1", "a2", "b1"], {record("High", "HHH_"): 60.0}),
    # A side without any PSM opens no table.
    (["a1", "a2"], {}),
    (["b1", "b2"], {}),
])
def test_the_arm_scans_a_side_needs(mod, tmp_path, rows, expected):
    psms = [(r, "PEPkA" if r[0] == "a" else "PEPkB", "High", "0") for r in rows]
    assert made(tmp_path, psms).search(mod) == expected


@pytest.mark.parametrize("confidences, expected", [
    # b2's Medium PSM: the High table accepts, and the High and Medium table is never read.
    ("HHHM", {record("High", "HHH_"): 60.0}),
    # A only in the High and Medium table: the second tier accepts; the class is the q-values'.
    ("MMHH", {record("Medium", "MMHH"): 39.375}),
    ("MMMM", {record("Medium", "MMMM"): 31.0}),
    # a2 only Low: a1 speaks for A in the second tier.
    ("MLHH", {record("Medium", "M_HH"): 29.6875}),
    # Peptides found only among all PSMs never make a four-scan record, however well they pair.
    ("LLHH", {}),
    ("HHLL", {}),
    ("LLLL", {}),
])
def test_the_table_each_confidence_reaches(mod, tmp_path, confidences, expected):
    names = {"H": "High", "M": "Medium", "L": "Low"}
    # High PSMs at a q-value of 0 (rescaled 1.0), the others at 0.03125 (0.96875).
    psms = [(r, "PEPkA" if r[0] == "a" else "PEPkB", names[c], "0" if c == "H" else "0.03125")
            for r, c in zip(ROLE, confidences)]
    assert made(tmp_path, psms).search(mod) == expected


@pytest.mark.parametrize("qs, cls, score", [
    # Points per scan: 18 above 0.99, 8 above 0.95, 3 above 0, none at 0 (q-values 0, 0.03125, 0.5, 1).
    (("0", "1", "0", "1"), "High", 40.0),          # 18 / 18
    (("0", "1", "0.03125", "0.03125"), "Medium", 29.375),  # 18 / 16: ten times
    (("0.03125", "0.03125", "0", "1"), "Medium", 29.375),  # 16 / 18
    (("0.03125", "1", "0.03125", "1"), "Medium", 15.5),    # 8 / 8: eight times
    (("0.5", "0.5", "0", "1"), "Low", 8.0),         # 6 / 18: four times
    (("0", "1", "0.5", "0.5"), "Low", 8.0),         # 18 / 6
    (("0.5", "0.5", "0.03125", "1"), "Low", 3.9375),  # 6 / 8: twice
    (("0.03125", "1", "0.5", "0.5"), "Low", 3.9375),  # 8 / 6
    (("0.03125", "0.5", "0.5", "0.5"), "Low", 4.9375),  # 11 / 6
    (("0.5", "0.5", "0.5", "0.5"), "Low", 2.0),     # 6 / 6: once
    (("0.5", "1", "0", "0"), "MS2_MedLow", 0),      # 3 / 36
    (("0", "0", "0.5", "1"), "MS2_MedLow", 0),      # 36 / 3
    (("1", "1", "1", "1"), "MS2_MedLow", 0),        # nothing above 0
    # The bands' bounds: 0.99 is medium, a hair above it high; 0.95 low, a hair above it medium;
    # a hair above 0 low.
    (("0.01", "1", "0", "1"), "Medium", 19.9),
    (("0.0099999", "1", "0", "1"), "High", 39.800002),
    (("0.05", "1", "0", "1"), "MS2_MedLow", 0),
    (("0.0499999", "1", "0", "1"), "Medium", 19.500001),
    (("0.9999999", "0.5", "0", "1"), "Low", 6.0000004),
])
def test_class_and_score_from_the_q_values(mod, tmp_path, qs, cls, score):
    psms = [(r, "PEPkA" if r[0] == "a" else "PEPkB", "High", q) for r, q in zip(ROLE, qs)]
    ((text, got),) = made(tmp_path, psms).search(mod).items()
    assert text == record(cls, "HHHH")
    assert type(got) is type(score) and got == pytest.approx(score, rel=1e-12)


@pytest.mark.parametrize("b_mass, stored", [
    # 20 ppm of 1562.5 is 0.03125 Da, either way; the next double beyond it is refused.
    ("963.4765749999999", True),
    ("963.4765749999998", False),
    ("963.5390749999999", True),
    ("963.539075", False),
])
def test_the_pairing_is_within_20_ppm_of_the_precursor(mod, tmp_path, b_mass, stored):
    f = HandMade(tmp_path, linker_dm=QUIET_DM)
    rows = [(r, s, "High", "0", {"mass": 500.0 if s == "PEPkA" else b_mass}) for r, s, _, _ in all_four()]
    group(f, rows, own=(600.25, 570.25, 991.257825, 961.257825), prec="1562.5")
    expected = {record("High", "HHHH", precursor="1562.5\t1\t1562.5"): 80.0}
    assert f.search(mod) == (expected if stored else {})


def test_the_precursor_fields_are_the_parents_in_the_hosts_number_text(mod, tmp_path):
    # m/z 686.5 at charge 2, so MH+ (686.5 - 1.007825) * 2 + 1.007825; the parent is scan 5; lists
    # of accessions and descriptions are texts as the table gives them.
    f = HandMade(tmp_path, linker_dm=QUIET_DM)
    b = 1371.992175 - 600.0 + PROTON
    rows = [(r, s, "High", "0", {"mass": 500.0 if s == "PEPkA" else b, "acc": "P1; P2" if s == "PEPkA" else "Q9",
                                 "desc": "two words" if s == "PEPkA" else ""}) for r, s, _, _ in all_four()]
    group(f, rows, own=(600.25, 570.25, 800.75, 770.75), prec="686.5", charge=2, parent=5)
    assert f.search(mod) == {
        "High\tHHHH\t10:11:12:13,5\t1371.9921749999999\t2\t686.5\tPEPkA\tP1; P2\ttwo words\tPEPkB\tQ9\t\t": 80.0}


@pytest.mark.parametrize("a2_rows, letters, remarks, score", [
    # a2 selected another peptide, which its High PSMs alone hold: the High table's arms disagree
    # (a remark); the High and Medium table's agree through a2's Medium PSM.
    ([("PEPkC", "High", "0"), ("PEPkA", "Medium", "0.03125")], "HMHH", "different_pep_A_seqs", 79.375),
    # a2 selected nothing (all its PSMs rejected): no remark.
    ([("PEPkC", "High", "0", {"ambig": "Rejected"}), ("PEPkA", "Medium", "0.03125", {"ambig": "Rejected"})],
     "HMHH", "", 79.375),
    # a2's other High PSM holds a1's peptide: the High table's arms agree, no remark.
    ([("PEPkC", "High", "0"), ("PEPkA", "High", "0")], "HHHH", "", 80.0),
])
def test_the_arms_of_a_side_agree_on_their_sequences(mod, tmp_path, a2_rows, letters, remarks, score):
    psms = [row for row in all_four() if row[0] != "a2"] + [("a2",) + r for r in a2_rows]
    assert made(tmp_path, psms).search(mod) == {record("High", letters, remarks=remarks): score}


def test_remarks_name_the_peptide_whose_arms_disagreed_a_first(mod, tmp_path):
    psms = [("a1", "PEPkA", "High", "0"), ("a2", "PEPkC", "High", "0"), ("a2", "PEPkA", "Medium", "0"),
            ("b1", "PEPkB", "High", "0"), ("b2", "PEPkX", "High", "0"), ("b2", "PEPkB", "Medium", "0")]
    assert made(tmp_path, psms).search(mod) == {
        record("High", "HMHM", remarks="different_pep_A_seqs;different_pep_B_seqs"): 80.0}


@pytest.mark.parametrize("role, seq, mass, expected", [
    # Sequences equal in upper case agree, both forms: two A (or B) sequences pair, no record.
    ("a2", "pEPkA", 500.0, {}),
    ("b2", "pEPkB", MASS["PEPkB"], {}),
    # Only a1's form pairs; a2's is read after the acceptance: its letter shows, its q-value does
    # not count (A: 18 points, Q 3.0).
    ("a2", "pEPkA", 600.0, {record("High", "HHHH"): 60.0}),
])
def test_sequences_equal_in_upper_case(mod, tmp_path, role, seq, mass, expected):
    psms = [row for row in all_four() if row[0] != role] + [(role, seq, "High", "0", {"mass": mass})]
    assert made(tmp_path, psms).search(mod) == expected


def test_forms_differing_by_a_blank_are_one_peptide_and_the_last_pairing_scores(mod, tmp_path):
    # Both arms hold PEPkA and "PEPkA " but selected different ones: their full lists agree on
    # both, both pair; the record keeps both texts and both accessions, the score is the second
    # pairing's (A: 16 points).
    psms = [("a1", "PEPkA", "High", "0"), ("a1", "PEPkA ", "High", "0.03125", {"acc": "P2"}),
            ("a2", "PEPkA ", "High", "0.03125", {"acc": "P2"}), ("a2", "PEPkA", "High", "0"),
            ("b1", "PEPkB", "High", "0"), ("b2", "PEPkB", "High", "0")]
    assert made(tmp_path, psms).search(mod) == {
        record("Medium", "HHHH", ["PEPkA;PEPkA \tP1;P2\td", "PEPkB\tP1\td"]): 39.375}


def test_a_sequence_of_both_arm_scans_is_the_second_ones(mod, tmp_path):
    # a1's and b1's PSMs carry a mass that pairs with nothing: only a2's and b2's records count.
    psms = [("a1", "PEPkA", "High", "0", {"mass": 600.0, "acc": "P3", "desc": "d3"}),
            ("a2", "PEPkA", "High", "0", {"acc": "P4", "desc": "d4"}),
            ("b1", "PEPkB", "High", "0", {"mass": 600.0, "acc": "P5", "desc": "d5"}),
            ("b2", "PEPkB", "High", "0", {"acc": "P6", "desc": "d6"})]
    assert made(tmp_path, psms).search(mod) == {record("High", "HHHH", ["PEPkA\tP4\td4", "PEPkB\tP6\td6"]): 80.0}


@pytest.mark.parametrize("a2_rows, letters, score", [
    # a2's Medium form agrees with a1's in upper case; only a1's pairs. a2 holds no PEPkC, so its
    # q-value is still the one its High PSM gave the first table's pairing (A: 26 points).
    ([("pEPkC", "Medium", "0.03125", {"mass": 600.0}), ("PEPkA", "High", "0")], "MMMM", 39.0625),
    # No a2: a1's selection speaks for A in either table.
    ([], "M_MM", 23.25),
])
def test_the_second_tier_starts_its_lists_afresh(mod, tmp_path, a2_rows, letters, score):
    # The High table agrees on PEPkA and PEPkX, which do not pair. In the High and Medium table
    # the arms selected their Medium PSMs, and PEPkC pairs with PEPkB; PEPkA (also 500 Da) would
    # pair too, and a second A sequence would leave no record.
    a1 = [("a1", "PEPkC", "Medium", "0.03125"), ("a1", "PEPkA", "High", "0")]
    b = [(r, s, c, q) for r in ("b1", "b2") for s, c, q in (("PEPkB", "Medium", "0.03125"), ("PEPkX", "High", "0"))]
    psms = a1 + [("a2",) + r for r in a2_rows] + b
    assert made(tmp_path, psms).search(mod) == {record("Medium", letters, ["PEPkC\tP1\td", "PEPkB\tP1\td"]): score}


def test_a_cleared_scan_shows_as_0_and_has_no_psm(mod, tmp_path):
    # a2 and b1 explain nothing with any mass: they are cleared, their PSMs never read.
    f = HandMade(tmp_path, linker_dm=QUIET_DM)
    group(f, all_four(), own=(600.25, 100.0, 150.0, 770.5))
    result, left = search_and_tables(mod, f)
    assert result == {record("High", "H__H", scans="10:0:0:13,9"): 40.0}
    assert left == [{}, {}, {}]


def test_groups_one_after_another_start_afresh(mod, tmp_path):
    # The first group's arms of A disagree in the High table (a remark) and it is stored from the
    # second tier with every scan read; the second group, of another peptide A, has PSMs for a1 and
    # b1 only.
    f = HandMade(tmp_path, linker_dm=QUIET_DM)
    group(f, [row for row in all_four() if row[0] != "a2"]
          + [("a2", "PEPkC", "High", "0"), ("a2", "PEPkA", "Medium", "0.03125")])
    prec = 570.25 + 850.5 + 2.0 - PROTON
    group(f, [("a1", "PEPkC", "High", "0"), ("b1", "PEPkB", "High", "0", {"mass": prec - 600.0 + PROTON})],
          first=20, own=(600.25, 570.25, 850.5, 820.5), prec=prec)
    assert f.search(mod) == {
        record("High", "HMHH", remarks="different_pep_A_seqs"): 79.375,
        record("High", "H_H_", ["PEPkC\tP1\td", "PEPkB\tP1\td"], scans="20:21:22:23,19",
               precursor="1421.742175\t1\t1421.742175"): 40.0}


@pytest.mark.parametrize("store", [True, False])
def test_a_stored_record_uses_up_its_scans(mod, tmp_path, store):
    # With arms 30 Da apart as linker_dm, a2, b1, b2 (11, 12, 13) would make a three-scan group of
    # their own once their scans are free: with two A sequences the four-scan group stores nothing.
    psms = all_four() if store else [r for r in all_four() if r[0] != "a2"] + [("a2", "pEPkA", "High", "0")]
    result = made(tmp_path, psms, linker_dm=30.0).search(mod)
    if store:
        assert result == {record("High", "HHHH"): 80.0}
    else:
        assert result == {record("High", "HHH", ["pEPkA\tP1\td", "PEPkB\tP1\td"], scans="11:12:13,9"): 60.0}


def test_a_record_equal_to_a_rescued_one_replaces_its_score_in_place(mod, tmp_path):
    f = mismatched(HandMade(tmp_path, linker_dm=QUIET_DM), 2)
    group(f, all_four())
    mod.Rescue_PrecMismatch_XLs = lambda *a: {record("High", "HHHH"): 1.0, "another": 2.0}
    assert list(f.search(mod, MS2_Rescue="YES").items()) == [(record("High", "HHHH"), 80.0), ("another", 2.0)]


# What the tiers' reads leave in the MS3 search's tables (High, High and Medium, all), scan by scan.
@pytest.mark.parametrize("rows, inject, expected, left", [
    # Accepted in the High table: its pairing read b2, which has no PSM there.
    (all_four()[:3], (), {record("High", "HHH_"): 60.0}, [{13: ["pep_seq"]}, {}, {}]),
    (all_four()[:3] + [("b2", "PEPkB", "Medium", "0")], (), {record("High", "HHH_"): 60.0},
     [{13: ["pep_seq"]}, {}, {}]),
    # A side without PSMs: no table passes its gate, nothing is read.
    (all_four()[:2], (), {}, [{}, {}, {}]),
    # A agrees on a1 alone, b1 and b2 disagree: no pairing, nothing is read (a2 has no PSM).
    ([("a1", "PEPkA", "High", "0"), ("b1", "PEPkB", "High", "0"), ("b2", "PEPkX", "High", "0")], (), {},
     [{}, {}, {}]),
    # The High table's pairing (b1's PEPkX) fails and reads b2; the High and Medium table's
    # (b1's Medium PEPkB) pairs and reads b2 there too.
    (all_four()[:2] + [("b1", "PEPkB", "Medium", "0.03125"), ("b1", "PEPkX", "High", "0")], (),
     {record("Medium", "HHM_"): 29.6875}, [{13: ["pep_seq"]}, {13: ["pep_seq"]}, {}]),
    # a1 has the empty entry an earlier read leaves in the High table: a1 counts as present there,
    # so no table lets a2 speak alone for A; among all PSMs a2's High or Medium one does, and
    # that pairing reads a1 there. A Low one does not.
    ([("a2", "PEPkA", "Medium", "0")] + all_four()[2:], [(0, 10)], {},
     [{10: ["selected_pep", "pep_seq"]}, {}, {10: ["pep_seq"]}]),
    ([("a2", "PEPkA", "High", "0")] + all_four()[2:], [(0, 10)], {},
     [{10: ["selected_pep", "pep_seq"]}, {}, {10: ["pep_seq"]}]),
    ([("a2", "PEPkA", "Low", "0")] + all_four()[2:], [(0, 10)], {}, [{10: ["selected_pep", "pep_seq"]}, {}, {}]),
    # Among all PSMs a lone arm scan does not speak for its peptide: nothing pairs, a1 is not read.
    ([("a2", "PEPkA", "Low", "0")] + all_four("Low")[2:], (), {}, [{}, {}, {}]),
])
def test_what_the_reads_leave_in_the_tables(mod, tmp_path, rows, inject, expected, left):
    result, tables = search_and_tables(mod, made(tmp_path, rows), inject)
    assert (result, tables) == (expected, left)
