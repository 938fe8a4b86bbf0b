"""Rescue_PrecMismatch_XLs: its builder calls by name, as a driver rebinding the builder sees them,
the map it returns, and the driver's tables it hands on."""
from collections import defaultdict
from decimal import Decimal
from fractions import Fraction

import pytest

from helpers.outcome import outcome
from helpers.rescue_tables import A_MASS, B_MASS, LINKER_MASS, MS2_MASS, export, shapes

MASS_LISTS = ([1.0], [2.0], [], None)  # never read, like linker_deficit


def dispatch(mod, mode, scans, tables):
    return mod.Rescue_PrecMismatch_XLs(mode, *MASS_LISTS, *scans, 50, MS2_MASS, 3, *tables, LINKER_MASS, "unused")


@pytest.fixture
def spy(mod):
    """Rebinds the builder to one that notes its arguments and answers from `spy.script`."""
    class Spy:
        calls, script = [], []

        def __call__(self, *args):
            self.calls.append(args)
            return self.script[len(self.calls) - 1]
    s = Spy()
    mod.Vombrelle_FindXLs_MS2Rescue = s
    return s


@pytest.mark.parametrize("mode, scans, builder_scans", [
    (4, (51, 52, 53, 54), [(51, 52, 53, 54), (53, 54, 51, 52)]),
    (Fraction(4), (51, 52, 53, 54), [(51, 52, 53, 54), (53, 54, 51, 52)]),  # the host's == picks the mode
    (2, (51, 52, 51, 52), [(51, 52, 51, 52)]),
    (3.0, (51, 52, 52, 53), [(51, 52, 1000052, 1000053), (52, 53, 1000051, 1000052)]),
    (Decimal(3), (51.0, 52, 52, 53.0), [(51.0, 52, 1000052, 1000053.0), (52, 53.0, 1000051.0, 1000052)]),
])
def test_modes_call_the_builder_by_name_with_the_drivers_tables(mod, spy, mode, scans, builder_scans):
    tables = [defaultdict(str) for _ in range(6)]
    spy.script = [("", 0), ("rec", 2.5)]
    result = dispatch(mod, mode, scans, tables)
    assert [call[:4] for call in spy.calls] == builder_scans
    assert [[type(s) for s in call[:4]] for call in spy.calls] == [[type(s) for s in b] for b in builder_scans]
    for call in spy.calls:
        assert call[4:7] == (50, MS2_MASS, 3) and call[-1] == LINKER_MASS and len(call) == 14
        assert all(got is table for got, table in zip(call[7:13], tables))
    assert type(result) is defaultdict and result.default_factory is str
    assert list(result.items()) == [("", 0), ("rec", 2.5)][:len(builder_scans)]


@pytest.mark.parametrize("mode", [5, 1, 0, 3.5, "4", None, True, 2 ** 70])
def test_other_modes_return_none_touching_nothing(mod, spy, mode):
    # Not even the tables are looked at: None would fail any look.
    assert mod.Rescue_PrecMismatch_XLs(mode, *[None] * 19) is None and spy.calls == []


@pytest.mark.parametrize("answer, error, message", [
    (1, TypeError, "cannot unpack non-iterable int object"),
    (("rec",), ValueError, "not enough values to unpack (expected 2, got 1)"),
    (("rec", 1, 2), ValueError, "too many values to unpack (expected 2)"),
    ((5, 1), TypeError, "Vombrelle_FindXLs_MS2Rescue() returned a cross-link record of type int, not str"),
    (("rec", "1"), TypeError, "Vombrelle_FindXLs_MS2Rescue() returned a score of type str, not a number"),
])
def test_a_rebound_builders_result_is_unpacked_as_the_host_unpacks_it(mod, spy, answer, error, message):
    spy.script = [answer]
    with pytest.raises(error) as info:
        dispatch(mod, 4, (51, 52, 53, 54), [{}] * 6)
    assert str(info.value) == message


def group_tables(mod):
    """A four-scan group whose a side is in the MS3 search and whose b side is in the rescue search;
    in its three-scan form the rescue spectra carry scan + 1000000."""
    return (export(mod, (51, "AkDEFR", A_MASS), (53, "GGkR", B_MASS)),
            export(mod, (53, "GGkR", B_MASS), (1000053, "GGkR", B_MASS), (1000051, "AkDEFR", A_MASS)))


@pytest.mark.parametrize("mode, scans", [(4, (51, 52, 53, 54)), (3, (51, 52, 52, 53)), (2, (51, 52, 51, 52))])
def test_a_builder_rebound_to_a_wrapper_of_its_own_changes_nothing(mod, mode, scans):
    ms3, rescue = group_tables(mod)
    expected = outcome(lambda: dispatch(mod, mode, scans, ms3 + rescue)), shapes(ms3 + rescue)
    own, seen = mod.Vombrelle_FindXLs_MS2Rescue, []
    # The first call also puts the module's own builder back: the second one is looked up anew.
    mod.Vombrelle_FindXLs_MS2Rescue = lambda *args: seen.append(args[:4]) or setattr(
        mod, "Vombrelle_FindXLs_MS2Rescue", own) or own(*args)
    ms3, rescue = group_tables(mod)
    assert (outcome(lambda: dispatch(mod, mode, scans, ms3 + rescue)), shapes(ms3 + rescue)) == expected
    assert len(seen) == 1 and expected[0][0] == "ok"
    if mode == 3:  # the second call found what the first one's reads left, and read it in turn
        assert list(ms3[0][52].items()) == list(rescue[0][1000052].items()) == [("pep_seq", ""), ("selected_pep", "")]


def test_the_modules_builder_calls_a_rebound_uniq(mod):
    ms3, rescue = group_tables(mod)
    expected = dispatch(mod, 4, (51, 52, 53, 54), ms3 + rescue)
    own, seen = mod.uniq, []
    mod.uniq = lambda seq, idfun=None: seen.append(seq) or own(seq)
    ms3, rescue = group_tables(mod)
    assert dispatch(mod, 4, (51, 52, 53, 54), ms3 + rescue) == expected and ["MS2_Rescued_XL"] in seen


def record(scans, a, b, letters="HHHH"):
    return "\t".join(["Medium", letters, scans, "2157.742175", "3", "719.919275", a, "P1", "d", b, "P1", "d",
                      "MS2_Rescued_XL"])


def test_four_scans_give_a_record_for_each_assignment_of_the_sides(mod):
    # Each side is identified in both searches, so both assignments build a record.
    ms3 = export(mod, (51, "AkDEFR", A_MASS), (52, "AkDEFR", A_MASS), (53, "GGkR", B_MASS), (54, "GGkR", B_MASS))
    rescue = export(mod, (51, "AkDEFR", A_MASS), (52, "AkDEFR", A_MASS), (53, "GGkR", B_MASS), (54, "GGkR", B_MASS))
    result = dispatch(mod, 4, (51, 52, 53, 54), ms3 + rescue)
    assert list(result.items()) == [(record("51:52:53.1:54.1,50", "AkDEFR", "GGkR"), 31.68),
                                    (record("53:54:51.1:52.1,50", "GGkR", "AkDEFR"), 31.68)]


def test_three_scans_look_the_rescue_side_up_under_scan_plus_1000000(mod):
    # (s1, s2, s2, s3) = (51, 52, 52, 53): the first call finds no rescue spectrum of 52 or 53; the
    # second takes s2, s3 from the MS3 search and s1 from the rescue search, whose s2 its pairing
    # reads all the same.
    ms3 = export(mod, (52, "GGkR", B_MASS), (53, "GGkR", B_MASS))
    rescue = export(mod, (1000051, "AkDEFR", A_MASS))
    result = dispatch(mod, 3, (51, 52, 52, 53), ms3 + rescue)
    assert list(result.items()) == [
        ("", 0), (record("52:53:1000051.1:1000052.1,50", "GGkR", "AkDEFR", "HHH_"), 23.759999999999998)]
    assert list(ms3[0]) == [52, 53] and list(rescue[0]) == [1000051, 1000052]


def test_two_scans_are_both_sides_of_one_call(mod):
    ms3 = export(mod, (51, "AkDEFR", A_MASS), (52, "AkDEFR", A_MASS))
    rescue = export(mod, (51, "GGkR", B_MASS), (52, "GGkR", B_MASS))
    result = dispatch(mod, 2, (51, 52, 51, 52), ms3 + rescue)
    assert list(result.items()) == [(record("51:52:51.1:52.1,50", "AkDEFR", "GGkR"), 31.68)]


@pytest.mark.parametrize("answers, stored", [
    ([("rec", 1.5), ("rec", 2.5)], [("rec", 2.5)]),  # the later score, under one key
    ([("rec", 1.5), ("", 0)], [("rec", 1.5), ("", 0)]),  # in the order of the calls
])
def test_every_answer_is_stored_in_the_order_of_the_calls(mod, spy, answers, stored):
    spy.script = answers
    assert list(dispatch(mod, 4, (51, 52, 53, 54), [{}] * 6).items()) == stored
