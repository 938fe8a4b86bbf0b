"""find_XL_from_mgf on hand-made fractions, from the walk over the MS3 scans to the signature peaks:
which scans form a group and which are used up, the parent MS2 scan, the masses of a group and their
test against the precursor, the hand-offs to both rescues and what comes back from them.

Most cases look only at the scan string of each stored record ("a1:a2:b1:b2,MS2"); a group that
stores nothing shows as an empty result."""
from collections import defaultdict

import pytest

from helpers.hand_made import PROTON, HandMade

# A's arm forms 600.25 and 570.25, B's 800.5 and 770.5: a1 with b2 and a2 with b1 both explain the
# precursor 570.25 + 800.5 + 2 (linker_deficit) - 1.007825.
ARMS = (600.25, 570.25, 800.5, 770.5)
PRECURSOR = 1371.742175
H1, H2, H3 = (PRECURSOR, 1), (999.5, 2), (888.25, 3)  # precursor headers of MS2 scans
JUNK = (300.25, 310.5, 320.75, 400.5)  # no two of these, nor one with an arm, come near a precursor
SCANS = (10, 11, 12, 13)
RECORD = "Medium\tHHHH\t10:11:12:13,9\t1371.742175\t1\t1371.742175\tPEPkA\tP1\td\tPEPkB\tP1\td\t"
NOT_FOUND = (False, "", "")


def scan_strings(result):
    return [text.split("\t")[2] for text in result]


def b_mass(precursor_mh):
    """MH+ of B's PSM that pairs with A's 500.0 through the linker (100.0) at this precursor."""
    return precursor_mh - 500.0 - 100.0 + PROTON


def write(f, scans, b=b_mass(PRECURSOR)):
    """MS3 scans (number, own precursor, peptide "A", "B" or None, parent headers...): the own
    precursor is an m/z at charge 1, a list of (m/z, charge) entries, "" for a block that never names
    one or None for a scan missing from the msn-1 file; the parent headers default to H1."""
    for n, own, side, *parents in scans:
        for i, parent in enumerate(parents or [H1]):
            entries = [(own, 1)] if isinstance(own, float) else [None] if not own else own
            for entry in entries if i == 0 else [None]:
                f.ms3(n, parent, entry)
        if own == "":
            f.msn1_blocks.append("BEGIN IONS\nTITLE=t\nCHARGE=1+\nSCANS=%d\nEND IONS\n" % n)
        if side:
            f.psm(n, "PEPk" + side[0], 500.0 if side[0] == "A" else b, side[1:] or "High")
    return f


def arms(*numbers, own=ARMS, sides=("A", "A", "B", "B")):
    return list(zip(numbers, own, sides))


def made(tmp_path, own=ARMS, precursor=PRECURSOR, charge=1, peaks=None, sides=("A", "A", "B", "B"),
         paired_at=PRECURSOR, **linker):
    """The group 10 to 13 under its parent MS2 scan 9, whose peaks are the MS3 m/z values; A and B
    pair at the MH+ `paired_at`. A side such as "AMedium" gives the PSM that confidence."""
    f = HandMade(tmp_path, **linker)
    f.ms2(9, precursor, charge, peaks=[m for m in own if isinstance(m, float)] if peaks is None else peaks)
    scans = [(n, m, s, (precursor, charge)) for n, m, s in zip(SCANS, own, sides)]
    return write(f, scans, b_mass(paired_at))


# --- Which scans form a group -----------------------------------------------------------------

def other(n):
    return (n, JUNK[0], None, H2)


AFTER_13 = [(14, 800.5, "B"), (15, 570.25, "A")]
GROUPINGS = {
    "consecutive": (arms(10, 11, 12, 13), ["10:11:12:13,5"]),
    "blocks in reverse order": (arms(20, 21, 22, 23)[::-1] + arms(10, 11, 12, 13),
                                ["10:11:12:13,5", "20:21:22:23,5"]),
    # The first group uses up 10 to 13: 11 would group 11 to 14, and 12 would store B with A.
    "two groups of four in a row": (arms(10, 11, 12, 13) + arms(14, 15, 16, 17), ["10:11:12:13,5", "14:15:16:17,5"]),
    "fourth scan on has another list": (arms(10, 11, 12, 14) + [other(13)], ["10:11:12:14,5"]),
    "look-ahead past other lists": (arms(10, 12, 13, 15) + [other(11), other(14)], ["10:12:13:15,5"]),
    "look-ahead takes four of five": (arms(10, 12, 14, 16) + [(18, JUNK[0], None)], ["10:12:14:16,5"]),
    # 10 to 16 leave both A scans without a matched mass: no record, and 12 groups anew with 18.
    "a dropped group's later scans start their own": ([(10, JUNK[0], None)] + arms(12, 14, 16, 18),
                                                      ["12:14:16:18,5"]),
    "window reaches 39 numbers on": (arms(10, 20, 30, 49), ["10:20:30:49,5"]),
    # Three scans within the window: a three-scan group; 50 is left alone.
    "window ends before 40 numbers on": (arms(10, 20, 30, 50), ["10:20:30,5"]),
    # 14 and 15 have a scan of their list before them: only with 13 free would they group (with it).
    "a group's last scan stays used": (arms(10, 11, 12, 13) + AFTER_13, ["10:11:12:13,5"]),
    "a cleared scan stays used": (arms(10, 11, 12, 13, own=(JUNK[0],) + ARMS[1:]) + AFTER_13, ["0:11:12:0,5"]),
    # 10, 11, 12 leave 50 and 51 out of their window; 12 and 50 are B's arm forms.
    "a three-scan group's last scan stays used": (arms(10, 11, 12, 50, 51, own=ARMS + (570.25,),
                                                       sides="AABBA"), ["10:11:12,5"]),
    "two scans alone": (arms(10, 11, own=ARMS[1:3], sides="AB"), ["10:11,5"]),
    "two scans between other lists": (arms(10, 11, own=ARMS[1:3], sides="AB") + [other(9), other(12)], ["10:11,5"]),
    # 9, 10, 11 form a three-scan group that 9's missing own precursor drops; 10 and 11 then have a
    # scan before them with their list.
    "two scans after one with their list": (arms(10, 11, own=ARMS[1:3], sides="AB") + [(9, None, None)], []),
    "two scans with another list between": (arms(10, 12, own=ARMS[1:3], sides="AB") + [other(11)], []),
}


@pytest.mark.parametrize("case", GROUPINGS)
def test_scans_of_one_precursor_form_a_group(mod, tmp_path, case):
    scans, expected = GROUPINGS[case]
    f = HandMade(tmp_path).ms2(5, *H1, peaks=ARMS)
    assert scan_strings(write(f, scans).search(mod)) == expected


@pytest.mark.parametrize("list_11, expected", [
    ([H1, H2], "10:11:12:13,9"),
    ([H1], "10:12:13:14,9"),          # shorter
    ([H1, H2, H3], "10:12:13:14,9"),  # longer
    ([H2, H1], "10:12:13:14,9"),      # the same texts in another order
])
def test_header_lists_are_compared_whole(mod, tmp_path, list_11, expected):
    f = HandMade(tmp_path).ms2(9, *H1).ms2(9, *H2, peaks=ARMS)
    grouped = [int(n) for n in expected.split(",")[0].split(":")]
    # Each scan's list first; the group's PSMs after (its blocks add H1 again, which changes nothing).
    scans = [(n, ARMS[grouped.index(n)] if n in grouped else JUNK[0], None, *(list_11 if n == 11 else [H1, H2]))
             for n in range(10, 15)]
    assert scan_strings(write(f, scans + arms(*grouped)).search(mod)) == [expected]


# --- The parent MS2 scan ------------------------------------------------------------------------

@pytest.mark.parametrize("ms2_scans, expected", [
    ({5: [H1], 8: [H1]}, ["10:11:12:13,8"]),        # the nearest below
    ({5: [H1], 8: [H2]}, ["10:11:12:13,5"]),        # another list is no parent
    ({5: [H1], 8: [H1, H2]}, ["10:11:12:13,5"]),    # nor a longer one
    ({5: [H1], 8: []}, ["10:11:12:13,5"]),          # nor an empty one
    ({5: [H1], 10: [H1]}, ["10:11:12:13,5"]),       # an MS2 scan numbered as a1 is not below it
    ({5: [H1], 14: [H1]}, ["10:11:12:13,5"]),       # nor one above the group
    ({14: [H1], 8: [H2]}, []),                     # none: dropped without a word
])
def test_the_parent_is_the_nearest_ms2_scan_below_with_the_groups_list(mod, tmp_path, ms2_scans, expected):
    f = write(HandMade(tmp_path), arms(*SCANS))
    for n, headers in ms2_scans.items():
        for header in headers:
            f.ms2(n, *header, peaks=ARMS)
        if not headers:
            f.ms2_blocks.append("BEGIN IONS\nTITLE=t\nCHARGE=1+\nSCANS=%d\nEND IONS\n" % n)
    assert scan_strings(f.search(mod)) == expected


def test_a_group_without_parent_leaves_its_scans_to_later_groups(mod, tmp_path):
    f = HandMade(tmp_path).ms2(10, *H1, peaks=ARMS)  # below 11, not below 10
    assert scan_strings(write(f, [(10, JUNK[0], None)] + arms(11, 12, 13, 14)).search(mod)) == ["11:12:13:14,10"]


def test_the_parents_first_header_entry_is_its_precursor(mod, tmp_path):
    # Charge 2: MH+ (686.375 - 1.007825) * 2 + 1.007825.
    f = HandMade(tmp_path).ms2(9, "686.375", 2).ms2(9, *H1, peaks=ARMS)
    f = write(f, [(n, m, s, ("686.375", 2), H1) for n, m, s in arms(*SCANS)])
    assert list(f.search(mod)) == [RECORD.replace("1371.742175\t1\t1371.742175", "1371.7421749999999\t2\t686.375")]


# --- The msn-1 gate and the group's masses --------------------------------------------------------

@pytest.mark.parametrize("absent, expected", [
    (None, ["10:11:12:13,9"]),
    (10, ["11:12:13,9"]),  # 11, 12, 13 then form a three-scan group of their own
    (11, []),
    (12, []),
    (13, []),
])
def test_every_scan_of_a_group_needs_its_own_precursor(mod, tmp_path, absent, expected):
    f = made(tmp_path, own=[None if n == absent else m for n, m in zip(SCANS, ARMS)], peaks=ARMS)
    assert scan_strings(f.search(mod)) == expected


@pytest.mark.parametrize("a2, peaks, expected", [
    ([(100.25, 1), (570.25, 1)], [570.25, 800.5], ["0:11:12:0,9"]),  # its second entry pairs with b1
    ([(100.25, 1)], [570.25, 800.5], []),
    # MH+ (285.6289125 - 1.007825) * 2 + 1.007825 = 570.25; the parent shows the m/z.
    ([("285.6289125", 2)], [285.6289125, 800.5], ["0:11:12:0,9"]),
    ([("285.6289125", 2)], [570.25, 800.5], []),
    # b2's block names no precursor: a1's partner is missing, a1 is cleared.
    (570.25, None, ["0:11:12:0,9"]),
])
def test_every_entry_of_a_scans_own_precursor_is_a_mass(mod, tmp_path, a2, peaks, expected):
    own = (600.25, a2, 800.5, "") if peaks is None else (JUNK[0], a2, 800.5, JUNK[3])
    assert scan_strings(made(tmp_path, own=own, peaks=peaks).search(mod)) == expected


# --- Pairs of MS3 masses against the precursor ------------------------------------------------------

# a2 570.25 with b1 795.945325 at the precursor 1367.1875: these deficits put the pair's miss at
# exactly 20 ppm of 1367.1875 (the quotient is 20.0), below it and above it, and one double beyond.
@pytest.mark.parametrize("deficit, expected", [
    (2.027343749999886, ["0:11:12:0,9"]),
    (2.0273437499998863, []),
    (1.9726562499996592, ["0:11:12:0,9"]),
    (1.972656249999659, []),
])
def test_a_pair_explains_the_precursor_within_20_ppm_of_it(mod, tmp_path, deficit, expected):
    f = made(tmp_path, own=(JUNK[0], 570.25, 795.945325, JUNK[3]), precursor=1367.1875, paired_at=1367.1875,
             linker_deficit=deficit)
    assert scan_strings(f.search(mod)) == expected


def one_pair(i, j, mass_i=570.25, mass_j=800.5):
    own = list(JUNK)
    own[i], own[j] = mass_i, mass_j
    return tuple(own)


def rescue_recorder(mod, returned):
    calls = []
    mod.Rescue_PrecMismatch_XLs = lambda *args: calls.append(args) or returned
    return calls


def groups_of_four(calls):
    """The scans of the calls for four-scan groups (a dropped one's later scans may regroup as three)."""
    return [c[5:9] for c in calls if c[0] == 4]


@pytest.mark.parametrize("own", [
    one_pair(0, 1), one_pair(0, 2), one_pair(0, 3), one_pair(1, 2), one_pair(1, 3), one_pair(2, 3),
    one_pair(1, 3, 685.375, 685.375),           # two equal masses pair
    ([(570.25, 1), (800.5, 1)],) + JUNK[1:],    # two entries of one scan pair
], ids=["a1a2", "a1b1", "a1b2", "a2b1", "a2b2", "b1b2", "equal", "one scan"])
def test_every_pair_of_entries_is_tested(mod, tmp_path, own):
    # A pair that explains the precursor keeps the group from the MS2-search rescue.
    calls = rescue_recorder(mod, defaultdict(str))
    made(tmp_path, own=own, sides=(None,) * 4).search(mod, MS2_Rescue="YES")
    assert groups_of_four(calls) == []
    made(tmp_path, own=JUNK, sides=(None,) * 4).search(mod, MS2_Rescue="YES")
    assert groups_of_four(calls) == [SCANS]


@pytest.mark.parametrize("own, letters, scans", [
    (ARMS, "HHHH", "10:11:12:13,9"),
    (one_pair(1, 2), "_HH_", "0:11:12:0,9"),
    (one_pair(0, 3, 600.25, 770.5), "H__H", "10:0:0:13,9"),
    (one_pair(0, 2), "H_H_", "10:0:12:0,9"),
    (one_pair(1, 3), "_H_H", "0:11:0:13,9"),
])
def test_scans_without_a_matched_mass_show_as_0(mod, tmp_path, own, letters, scans):
    result = made(tmp_path, own=own).search(mod)
    assert [text.split("\t")[1:3] for text in result] == [[letters, scans]]


# --- The MS2-search rescue -----------------------------------------------------------------------

@pytest.mark.parametrize("switch, called", [("YES", True), ("yes", False), ("Yes", False), ("YES ", False),
                                            ("NO", False)])
def test_the_ms2_search_rescue_gets_a_group_no_pair_explains(mod, tmp_path, switch, called):
    # Charge 3: MH+ (458.25 - 1.007825) * 3 + 1.007825 = 1372.73435, 0.992175 Da above the pairs.
    f = made(tmp_path, precursor="458.25", charge=3, sides=("A", "AMedium", "BLow", None))
    f.psm(12, "PEPkB", 800.0, "Medium", table="rescue").psm(13, "PEPkB", 800.0, "Low", table="rescue")
    calls = rescue_recorder(mod, defaultdict(str, {"R": 1.5}))
    assert dict(f.search(mod, MS2_Rescue=switch)) == ({"R": 1.5} if called else {})
    assert len(groups_of_four(calls)) == called
    if called:
        args = calls[0]
        assert args[:12] == (4, [600.25], [570.25], [800.5], [770.5], 10, 11, 12, 13, 9, 1372.73435, 3)
        assert [type(a) for a in args[:12]] == [int, list, list, list, list, int, int, int, int, int, float, int]
        assert [sorted(table) for table in args[12:18]] == [[10], [10, 11], [10, 11, 12], [], [12], [12, 13]]
        assert args[18:] == (100.0, 2.0)


def test_the_rescues_records_are_copied_in_its_order_over_equal_ones(mod, tmp_path):
    # The first group stores RECORD; the second, 5 Da off its precursor, hands back RECORD again
    # (its score replaces the first one's in place), the empty key and a new record.
    f = made(tmp_path).ms2(19, PRECURSOR + 5.0, 1, peaks=ARMS)
    write(f, [(n, m, None, (PRECURSOR + 5.0, 1)) for n, m in zip((20, 21, 22, 23), ARMS)])
    calls = rescue_recorder(mod, defaultdict(str, [("new\tb", 2.5), ("", 0), (RECORD, 99.0), ("new\ta", 0)]))
    result = f.search(mod, MS2_Rescue="YES")
    assert list(result.items()) == [(RECORD, 99.0), ("new\tb", 2.5), ("new\ta", 0)]
    assert groups_of_four(calls) == [(20, 21, 22, 23)]


@pytest.mark.parametrize("returned, error, message", [
    (None, TypeError, "'NoneType' object is not iterable"),
    (["R"], TypeError, "list indices must be integers or slices, not str"),
    ({"R": 1.5}, None, None),  # a plain dict serves as well
])
def test_what_the_ms2_search_rescue_returns_is_walked_as_a_map(mod, tmp_path, returned, error, message):
    f = made(tmp_path, precursor=PRECURSOR + 2.0)
    rescue_recorder(mod, returned)
    if error is None:
        assert dict(f.search(mod, MS2_Rescue="YES")) == returned
        return
    with pytest.raises(error) as info:
        f.search(mod, MS2_Rescue="YES")
    assert str(info.value) == message


def precursor_recorder(mod, answer=NOT_FOUND):
    calls = []
    mod.RescuePrecMass = lambda *args: calls.append(args) or answer
    return calls


@pytest.mark.parametrize("switch, returned, tried, expected", [
    ("YES", {"R": 1.0}, False, {"R": 1.0}),  # records copied: the group ends there
    ("YES", {"": 0}, True, {}),
    ("YES", {}, True, {}),
    ("NO", None, True, {}),
])
def test_the_precursor_rescue_only_after_an_ms2_search_rescue_that_copied_nothing(
        mod, tmp_path, switch, returned, tried, expected):
    f = made(tmp_path, precursor=PRECURSOR + 2.0)
    rescue_recorder(mod, None if returned is None else defaultdict(str, returned))
    calls = precursor_recorder(mod)
    assert dict(f.search(mod, MS2_Rescue=switch)) == expected
    assert len(calls) == tried


# --- The precursor-mass rescue ---------------------------------------------------------------------

# a2 570.25 with b1 795.945325 miss the precursor 1367.1875 by exactly 5.5 Da at these deficits,
# above it and below; one double further they miss it by more.
@pytest.mark.parametrize("deficit, tried", [
    (-3.5000000000003406, True),
    (-3.500000000000341, False),
    (7.499999999999885, True),
    (7.499999999999886, False),
])
def test_the_precursor_rescue_needs_a_pair_within_5_5_da(mod, tmp_path, deficit, tried):
    f = made(tmp_path, own=(JUNK[0], 570.25, 795.945325, JUNK[3]), precursor=1367.1875, linker_deficit=deficit)
    calls = precursor_recorder(mod)
    assert dict(f.search(mod)) == {}
    assert len(calls) == tried


@pytest.mark.parametrize("sides, tried", [
    (("A", None, "B", None), True),
    ((None, "A", None, "B"), True),
    (("A", None, None, "BMedium"), True),
    ((None, "AMedium", "B", None), True),
    (("A", "A", None, None), False),        # no B scan identified
    ((None, None, "B", "B"), False),        # no A scan
    (("ALow", "A", "BLow", "BLow"), False),  # B only Low
])
def test_the_precursor_rescue_needs_an_identified_scan_on_each_side(mod, tmp_path, sides, tried):
    f = made(tmp_path, precursor=PRECURSOR + 2.0, sides=sides)
    calls = precursor_recorder(mod)
    assert dict(f.search(mod)) == {}
    assert len(calls) == tried
    if tried:  # membership only: the table holds just the PSMs' scans
        assert sorted(calls[0][13]) == [n for n, s in zip(SCANS, sides) if s and not s.endswith("Low")]


@pytest.mark.parametrize("answer, peaks, expected", [
    # The derived m/z and MH+ replace the measured ones; the charge stays.
    ((True, "461.5:1381.5", "remarks"), ARMS,
     {RECORD.replace("1371.742175\t1\t1371.742175", "1381.5\t3\t461.5"): 31.68}),
    # Every scan's first mass counts as matched: four peaks are needed.
    ((True, "461.5:1381.5", "remarks"), ARMS[:3], {}),
    (NOT_FOUND, ARMS, {}),
])
def test_what_the_precursor_rescue_finds_the_group_goes_on_with(mod, tmp_path, answer, peaks, expected):
    # Charge 3: MH+ 1372.73435, within 5.5 Da of the pairs but not within 20 ppm.
    f = made(tmp_path, precursor="458.25", charge=3, peaks=peaks, paired_at=1381.5)
    calls = precursor_recorder(mod, answer)
    assert dict(f.search(mod)) == expected
    (args,) = calls
    assert args[:8] == (10, 11, 12, 13, [600.25], [570.25], [800.5], [770.5])
    assert list(args[8]) == [1] and args[9:13] == (9, 458.25, 1372.73435, 3)
    assert [type(a) for a in args[9:13]] == [int, float, float, int]
    assert sorted(args[13]) == [10, 11, 12, 13] and args[14] == 2.0


@pytest.mark.parametrize("answer, error, message", [
    ((True, "461.5", ""), IndexError, "list index out of range"),
    ((True, "x:1381.5", ""), ValueError, "could not convert string to float: 'x'"),
    ((True, "461.5:", ""), ValueError, "could not convert string to float: ''"),
    ((True, ""), ValueError, "not enough values to unpack (expected 3, got 2)"),
])
def test_a_found_precursor_that_does_not_read_ends_the_search(mod, tmp_path, answer, error, message):
    f = made(tmp_path, precursor=PRECURSOR + 2.0)
    precursor_recorder(mod, answer)
    with pytest.raises(error) as info:
        f.search(mod)
    assert str(info.value) == message


# --- Signature peaks in the parent spectrum -------------------------------------------------------

# Peaks exactly 20 ppm of the peak away from b1's m/z, above it, and from a2's, below it (the
# quotient is 20.0), and one double further. The m/z probed is the group's highest, then its lowest.
ABOVE, BELOW = (JUNK[0], 570.25, 798.3985, JUNK[3]), (1000.25, 570.4874, 800.5, 1100.5)


@pytest.mark.parametrize("own, peaks, stored", [
    (ABOVE, [570.25, 798.4144682893658], True),
    (ABOVE, [570.25, 798.4144682893659], False),
    (BELOW, [570.4759904801904, 800.5], True),
    (BELOW, [570.4759904801903, 800.5], False),
])
def test_an_ms3_precursor_is_found_within_20_ppm_of_a_peak(mod, tmp_path, own, peaks, stored):
    precursor = own[1] + own[2] + 2.0 - PROTON
    f = made(tmp_path, own=own, precursor=precursor, peaks=peaks, paired_at=precursor)
    assert scan_strings(f.search(mod)) == (["0:11:12:0,9"] if stored else [])


@pytest.mark.parametrize("own, peaks, expected", [
    (ARMS, ARMS, ["10:11:12:13,9"]),
    (ARMS, ARMS[:3], ["11:12:13,9"]),  # two pairs matched: four masses to find (11 to 13 need two)
    (ARMS, [], []),
    # a1 pairs with b1 and with b2: four masses again. The peak at b1's m/z finds b2's as well,
    # and a2's m/z counts although a2 took part in no match.
    ((600.25, 570.25, 770.5, 770.5), [600.25, 770.5], []),
    ((600.25, 570.25, 770.5, 770.5), [600.25, 770.5, 570.25], ["10:0:12:13,9"]),
])
def test_the_parent_shows_as_many_ms3_precursors_as_masses_matched(mod, tmp_path, own, peaks, expected):
    assert scan_strings(made(tmp_path, own=own, peaks=peaks).search(mod)) == expected


# --- Errors ---------------------------------------------------------------------------------------

@pytest.mark.parametrize("precursor, charge, message", [
    ("1371.7x", 1, "could not convert string to float: '1371.7x'"),
    (PRECURSOR, "x", "invalid literal for int() with base 10: 'x'"),
])
def test_a_parent_precursor_that_does_not_read_ends_the_search(mod, tmp_path, precursor, charge, message):
    with pytest.raises(ValueError) as info:
        made(tmp_path, precursor=precursor, charge=charge).search(mod)
    assert str(info.value) == message
