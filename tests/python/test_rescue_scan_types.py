"""Scan numbers of the interpreter's other number types in the rescues, as its own code meets them:
a bool is an int that "%s" writes as a word, a float adds 0.1 as a float, and the precursor
rescue's walk below the parent is range(), which takes an int and refuses any float."""
from collections import defaultdict

import pytest

from helpers.rescue_tables import A_MASS, B_MASS, LINKER_MASS, MS2_MASS, export

A, B = "AkDEFR", "GGkR"
# The record around its scan string, for the tables of `tables` and the builder's MS2_MASS at charge 3.
HEAD, TAIL = "Medium\tH_H_\t", "\t2157.742175\t3\t719.919275\tAkDEFR\tP1\td\tGGkR\tP1\td\tMS2_Rescued_XL"


def tables(mod, a_scan, b_scan):
    return export(mod, (a_scan, A, A_MASS)) + export(mod, (b_scan, B, B_MASS))


@pytest.mark.parametrize("scans, parent, tables_at, scan_text", [
    ((True, 52, 53, 54), True, (1, 53), "True:52:53.1:54.1,True"),
    ((51, 52, False, 54), False, (51, 0), "51:52:0.1:54.1,False"),  # False + 0.1
    ((51.0, 52, 53.0, 54), 50.0, (51, 53), "51.0:52:53.1:54.1,50.0"),
])
def test_the_builder_writes_each_scan_as_percent_s_does(mod, scans, parent, tables_at, scan_text):
    record, _ = mod.Vombrelle_FindXLs_MS2Rescue(*scans, parent, MS2_MASS, 3, *tables(mod, *tables_at), LINKER_MASS)
    assert record == HEAD + scan_text + TAIL


def test_the_dispatcher_passes_a_bool_on_and_shifts_it_to_an_int(mod):
    seen = []
    own = mod.Vombrelle_FindXLs_MS2Rescue
    mod.Vombrelle_FindXLs_MS2Rescue = lambda *args: seen.append(args[:5]) or own(*args)
    t = tables(mod, 52, 1000052)
    result = mod.Rescue_PrecMismatch_XLs(3, [], [], [], [], True, 52, 52, 53, False, MS2_MASS, 3, *t, LINKER_MASS, 0)
    assert [tuple(map(type, s)) for s in seen] == [(bool, int, int, int, bool), (int, int, int, int, bool)]
    assert seen == [(True, 52, 1000052, 1000053, False), (52, 53, 1000001, 1000052, False)]
    # True + 1000000 is the int 1000001, written with its digits.
    assert [k.split("\t")[2] for k in result] == ["True:52:1000052.1:1000053.1,False", "52:53:1000001.1:1000052.1,False"]
    # Through the module's own builder, the same records.
    mod.Vombrelle_FindXLs_MS2Rescue = own
    assert list(mod.Rescue_PrecMismatch_XLs(3, [], [], [], [], True, 52, 52, 53, False, MS2_MASS, 3, *t,
                                            LINKER_MASS, 0)) == list(result)


# A group 1 Da off at charge 3 whose measured m/z sits in MS1 scan 0; the isotope peak is found.
MS1 = {0: defaultdict(str, ion_mass=defaultdict(float, {800.0: 1.0, 799.6666: 1.0}))}
LOCATED = (True, "799.6666:2396.98415", "Derived_MS2mass_located;Upstream search: 1.0")


def precursor_rescue(mod, parent, deficit=-1.992175):
    return mod.RescuePrecMass(51, 52, 53, 54, [1.0], [2.0], [2.0], [1.0], MS1, parent, 800.0, 1.0, 3,
                              {51: {}, 53: {}}, deficit)


@pytest.mark.parametrize("parent, expected", [
    (1, LOCATED), (True, LOCATED),             # range(0, -1, -1) walks scan 0
    (0, (False, "", "")), (False, (False, "", "")),
    (1.0, TypeError), (2.5, TypeError), (float("nan"), TypeError),
])
def test_the_walk_below_the_parent_takes_an_int_only(mod, parent, expected):
    if expected is TypeError:
        with pytest.raises(TypeError, match=r"^'float' object cannot be interpreted as an integer$"):
            precursor_rescue(mod, parent)
        # Masses that are no isotope error end the rescue before the walk.
        assert precursor_rescue(mod, parent, deficit=-1.992175 + 0.5) == (False, "", "")
    else:
        assert precursor_rescue(mod, parent) == expected
