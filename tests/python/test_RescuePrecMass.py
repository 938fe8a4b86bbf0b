"""RescuePrecMass on the tables a driver hands it: the DTA reader's MS1 table or an equal plain dict,
the MS1 scans it can examine, and a High and Medium table it only asks for membership; and the MS1
scans the search's own run of it examines. The isotope arithmetic is the core tests'."""
from collections import defaultdict

import pytest

from helpers.hand_made import HandMade
from helpers.outcome import shape
from helpers.readers import make_zip

# A group 1 Da off at charge 3: the monoisotopic m/z expected is 800 - 0.33333.
MASS_LISTS = ([1.0], [2.0], [2.0], [1.0])
LOCATED = (True, "799.6666:2396.98415", "Derived_MS2mass_located;Upstream search: 1.0")
NOT_FOUND = (False, "", "")


def rescue(mod, ms1, med_high=None, parent=101, mass_lists=MASS_LISTS, charge=3, deficit=-1.992175):
    med_high = {51: {}, 53: {}} if med_high is None else med_high
    return mod.RescuePrecMass(51, 52, 53, 54, *mass_lists, ms1, parent, 800.0, 1.0, charge, med_high, deficit)


def record(*peaks):
    return defaultdict(str, title=["t"], header=["h"], ion_mass=defaultdict(float, {mz: 1.0 for mz in peaks}))


def test_on_a_dta_reader_table_and_an_equal_plain_dict(mod, tmp_path):
    members = [("run.90.90.0.dta", "801.0 3\n800.0 10\n799.6666 5\n"), ("run.95.95.0.dta", "501.0 3\n500.0 1\n")]
    ms1 = mod.read_ms_DtaZip(make_zip(tmp_path / "ms1.zip", members))
    before = shape(ms1)
    med_high = defaultdict(lambda: defaultdict(str), {51: defaultdict(str), 54: defaultdict(str)})
    assert rescue(mod, ms1, med_high) == LOCATED
    assert shape(ms1) == before and list(med_high) == [51, 54]  # read, never written
    plain = {scan: {"ion_mass": dict(r["ion_mass"])} for scan, r in ms1.items()}
    assert rescue(mod, plain, {52: 1, 53: 1}) == LOCATED
    result = rescue(mod, plain, {52: 1})  # no side-B scan identified
    assert result == NOT_FOUND and [type(x) for x in result] == [bool, str, str]


class Untouchable(dict):
    def __contains__(self, key):
        raise AssertionError("looked up")

    __getitem__ = __contains__


@pytest.mark.parametrize("mass_lists, deficit", [
    (MASS_LISTS, -1.992175 + 0.1),                    # the two pairings agree on 0.9 Da
    (([1.0], [2.0], [2.0], [1.1]), -1.992175),        # they disagree
    (MASS_LISTS, -1.992175 + 1.0),                    # 0.0 Da
])
def test_a_group_whose_masses_are_no_isotope_error_looks_at_no_table(mod, mass_lists, deficit):
    assert rescue(mod, Untouchable(), Untouchable(), mass_lists=mass_lists, deficit=deficit) == NOT_FOUND


@pytest.mark.parametrize("base", [0, 10 ** 6])  # a parent far above the table's scans, which are found by its keys
@pytest.mark.parametrize("above", [0, 20])  # scans above the parent
@pytest.mark.parametrize("present, expected", [
    ([90, 91, 93, 95, 97, 99], NOT_FOUND),  # five nearer scans present: 90 is never examined
    ([90, 93, 95, 97, 99], LOCATED),
    ([90, 93, 95, 97, 99, 101], LOCATED),  # the parent's own scan takes no place among the five
    ([90, 91, 93, 95, 97, 99, 101, 150], NOT_FOUND),  # scans from the parent on do not count
    ([0, 101], LOCATED),  # down to scan 0
])
def test_the_five_nearest_present_scans_below_the_parent(mod, base, above, present, expected):
    ms1 = {base + scan: record(800.0, 799.6666) if scan in (0, 90, 101) else record(500.0) for scan in present}
    ms1.update((base + 1000 + i, record(800.0)) for i in range(above))
    assert rescue(mod, ms1, parent=base + 101) == expected


@pytest.mark.parametrize("change, error, message", [
    ({"mass_lists": ([1.0], [], [2.0], [1.0])}, IndexError, "list index out of range"),
    ({"mass_lists": ([1.0], ["2"], [2.0], [1.0])}, TypeError,
     "RescuePrecMass() argument 'MS3_a2_masslist' is a mass list holding str, not a number"),
    ({"ms1": {90: {"title": ["t"]}}}, TypeError,
     "RescuePrecMass() argument 'MS1_dict' is a table whose scan 90 has no \"ion_mass\""),
    ({"charge": "3"}, TypeError, "RescuePrecMass() argument 'MS2_charge' is 'str', not an int or float"),
    ({"charge": 0}, ZeroDivisionError, "float division by zero"),  # met once an MS1 scan holds the m/z
])
def test_errors(mod, change, error, message):
    args = {"ms1": {90: record(800.0)}, **change}
    with pytest.raises(error) as info:
        rescue(mod, **args)
    assert str(info.value) == message


@pytest.mark.parametrize("parent, expected", [(1, LOCATED), (0, NOT_FOUND)])
def test_scan_0_is_below_a_parent_at_scan_1_only(mod, parent, expected):
    assert rescue(mod, {0: record(800.0, 799.6666)}, parent=parent) == expected


UNCONFIRMED = (True, "799.66667:2396.98436", "Derived_MS2mass_not_located;Upstream search: 1.0")


@pytest.mark.parametrize("ms1, expected", [
    # Both hold the precursor m/z: the nearer one is searched, although only the other one holds
    # the monoisotopic peak; the expected m/z and its MH+ are handed back unconfirmed.
    ({97: record(800.0, 799.6666), 99: record(800.0)}, UNCONFIRMED),
    # A peak one step above the precursor m/z is not the precursor.
    ({97: record(800.0, 799.6666), 99: record(800.0000000000001)}, LOCATED),
])
def test_the_nearest_scan_holding_the_precursor_mz_exactly(mod, ms1, expected):
    assert rescue(mod, ms1) == expected


@pytest.mark.parametrize("mass_lists", [([2.0], [1.0], [1.0], [2.0]), ([2.0], [1.0], [2.0], [1.0]),
                                        ([1.0], [2.0], [1.0], [2.0])])
def test_each_peptides_arms_are_told_apart_by_mass_not_by_scan_order(mod, mass_lists):
    assert rescue(mod, {90: record(800.0, 799.6666)}, mass_lists=mass_lists) == LOCATED


@pytest.mark.parametrize("identified, expected", [
    ({52: 1, 54: 1}, LOCATED),
    ({51: 1, 52: 1}, NOT_FOUND),  # side A only
    ({53: 1, 54: 1}, NOT_FOUND),  # side B only
])
def test_a_scan_of_each_side_in_the_high_and_medium_table(mod, identified, expected):
    assert rescue(mod, {90: record(800.0, 799.6666)}, identified) == expected


# The search's own run: a four-scan group (MS3 scans 21-24, parent MS2 scan 20) whose arm masses
# both pair to 1 Da below the measured precursor, m/z 686.875 at charge 2. The monoisotopic
# precursor is expected at 686.875 - 0.5 = 686.375; the MS1 peak at 686.3755 is 0.7 ppm from it.
# The PSMs pair with either derived MH+, so the record shows which one the rescue handed back.
MEASURED, ISOTOPE = "686.875", "686.3755"
AT_PEAK = "Medium\tHHHH\t21:22:23:24,20\t1371.7431749999998\t2\t686.3755\tPEPkA\tP1\td\tPEPkB\tP1\td\t"
AT_EXPECTED = "Medium\tHHHH\t21:22:23:24,20\t1371.7421749999999\t2\t686.375\tPEPkA\tP1\td\tPEPkB\tP1\td\t"
OTHER = ["500.0"]


def search_with_ms1(mod, tmp_path, ms1, measured=MEASURED):
    f = HandMade(tmp_path)
    own = [600.25, 570.25, 800.5, 770.5]  # a1, a2, b1, b2 at charge 1: each pairing sums to 1370.75
    f.ms2(20, measured, 2, peaks=own)
    for i, m in enumerate(own):
        f.ms3(21 + i, (measured, 2), (m, 1))
    for i in range(4):
        f.psm(21 + i, "PEPkA" if i < 2 else "PEPkB", 500.0 if i < 2 else 772.75)
    for scan, peaks in ms1.items():
        f.ms1(scan, [(p, 100.0) for p in peaks])
    return f.search(mod)


@pytest.mark.parametrize("ms1, expected", [
    ({19: [MEASURED, ISOTOPE]}, {AT_PEAK: 31.68}),
    # The nearer scan holding the m/z is searched, not the one holding the isotope peak.
    ({17: [MEASURED, ISOTOPE], 19: [MEASURED]}, {AT_EXPECTED: 31.68}),
    # Five present scans below the parent are examined, the absent numbers between them skipped.
    ({11: [MEASURED, ISOTOPE], 13: OTHER, 15: OTHER, 17: OTHER, 19: OTHER}, {AT_PEAK: 31.68}),
    ({9: [MEASURED, ISOTOPE], 11: OTHER, 13: OTHER, 15: OTHER, 17: OTHER, 19: OTHER}, {}),
    # The parent's own scan number and those above it are not below it.
    ({20: [MEASURED, ISOTOPE], 21: [MEASURED, ISOTOPE], 19: OTHER}, {}),
])
def test_the_search_examines_the_five_nearest_ms1_scans_below_the_parent(mod, tmp_path, ms1, expected):
    assert search_with_ms1(mod, tmp_path, ms1) == expected


def test_the_search_takes_a_precursor_picked_below_the_monoisotopic_peak_too(mod, tmp_path):
    # 1 Da light: the expected m/z is 0.5 above the measured one, the same 686.375.
    assert search_with_ms1(mod, tmp_path, {19: ["685.875", ISOTOPE]}, measured="685.875") == {AT_PEAK: 31.68}
