"""RescuePrecMass on the tables a driver hands it: the DTA reader's MS1 table or an equal plain dict,
the MS1 scans it can examine, and a High and Medium table it only asks for membership. The isotope
arithmetic is the core tests'."""
from collections import defaultdict

import pytest

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


@pytest.mark.parametrize("above", [0, 20])  # scans above the parent: looked for downward, or by the keys
@pytest.mark.parametrize("present, expected", [
    ([90, 91, 93, 95, 97, 99], NOT_FOUND),  # five nearer scans present: 90 is never examined
    ([90, 93, 95, 97, 99], LOCATED),
    ([90, 93, 95, 97, 99, 101], LOCATED),  # the parent's own scan takes no place among the five
    ([90, 91, 93, 95, 97, 99, 101, 150], NOT_FOUND),  # scans from the parent on do not count
    ([0, 101], LOCATED),  # down to scan 0
])
def test_the_five_nearest_present_scans_below_the_parent(mod, above, present, expected):
    ms1 = {scan: record(800.0, 799.6666) if scan in (0, 90, 101) else record(500.0) for scan in present}
    ms1.update((1000 + i, record(800.0)) for i in range(above))
    assert rescue(mod, ms1) == expected


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
