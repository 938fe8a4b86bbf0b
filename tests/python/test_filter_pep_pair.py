import collections
import decimal
import math

import pytest

from helpers.scored_lines import LINKER, MASS, MOD, expected_mh, record


def call(mod, xl, tol=10, fraction="F1", mass=MASS, mod_dict=MOD):
    return mod.filter_pep_pair(xl, mass, mod_dict, LINKER, tol, fraction)


def good(pep_a="PEKAR", pep_b="GAKE", mh=None, **kw):
    return record(pep_a, pep_b, mh=mh or repr(expected_mh(pep_a.split(";")[0].strip(), pep_b)), **kw)


def test_kept_records_best_first_with_scores_passed_through(mod):
    big = 10 ** 30  # a score the core cannot hold is still passed on as it is
    recs = [good(remarks=str(i), cls="MS2_MedLow") for i in range(6)]
    scores = [5, 9.0, 5, 7, 0, big]
    out = call(mod, dict(zip(recs, scores)), fraction=3)
    assert type(out) is dict and list(out) == [recs[i] + "\t3" for i in (5, 1, 3, 0, 2, 4)]
    assert all(out[recs[i] + "\t3"] is scores[i] for i in range(6))
    assert mod.filter_pep_pair({}, {}, {}, "x", "y", None) == {}   # an empty map reads no mass
    shortest = "\t".join(good().split("\t")[:10])   # peptide B is its last field
    assert list(call(mod, {shortest: 1.0})) == [shortest + "\tF1"]
    rec = "  " + good(pep_a=" PEKAR ;XYZ") + "\n"  # only the stripped first alternative is weighed
    assert list(call(mod, {rec: 1.0}, fraction=" F 1 ")) == [rec + "\t F 1 "]
    ordered = collections.OrderedDict((r, 1) for r in recs[:3])  # read in its own order
    ordered.move_to_end(recs[0])
    assert list(call(mod, ordered, fraction=3)) == [recs[i] + "\t3" for i in (1, 2, 0)]


def test_tolerance_is_inclusive_and_relative_to_stated_mass(mod):
    e = expected_mh("PEKAR", "GAKE")
    exact = abs((e + 0.01) - e) / (e + 0.01) * 1000000
    on_edge = {good(mh=repr(e + 0.01)): 1.0}
    assert call(mod, on_edge, tol=exact)
    assert not call(mod, on_edge, tol=math.nextafter(exact, 0))
    # other kinds of number are compared by the host
    assert call(mod, on_edge, tol=decimal.Decimal(exact))
    assert not call(mod, on_edge, tol=decimal.Decimal(exact) - decimal.Decimal("1e-20"))
    # The same offset below the expected mass is divided by a smaller mass: a larger error.
    d = e * 10e-6 * (1 + 1e-6)
    assert call(mod, {good(mh=repr(e + d)): 1.0}, tol=10)
    assert not call(mod, {good(mh=repr(e - d)): 1.0}, tol=10)


@pytest.mark.parametrize("mh", ["0", "-1234.5", "nan"])
def test_stated_mass_that_is_not_a_positive_finite_number_drops_the_record(mod, mh):
    kept, bad = good(pep_a="GAKE"), record("PEKAR", "GAKE", mh=mh)
    assert list(call(mod, {bad: 50.0, kept: 1.0}, tol=1e9)) == [kept + "\tF1"]
    # The expected mass is built before the stated mass is judged, so a bad linker still fails.
    with pytest.raises(TypeError, match="unsupported operand type"):
        mod.filter_pep_pair({bad: 1.0}, MASS, MOD, "158", 10, "F1")


@pytest.mark.parametrize("xl, mass, mod_dict, exc, text", [
    ({record("PEXAR", "GAKE"): 1.0}, MASS, {}, KeyError, "'X'"),           # residues are read first
    # a mass that is no number fails where it is added, to the running total as it stands
    ({record("PEKAR", "GAKE"): 1.0}, {**MASS, "K": "128"}, MOD, TypeError, "for +: 'float' and 'str'"),
    ({record("KPEAR", "GAKE"): 1.0}, {**MASS, "K": None}, MOD, TypeError, "for +: 'int' and 'NoneType'"),
    ({"a\tb\tc\td\te\tf\tPEKAR\th\ti": 1.0}, MASS, MOD, IndexError, "list index out of range"),
    # the highest-scored faulty record raises
    ({record("PEXAR", "GAKE"): 1.0, record("PEKAR", "GAKE", mh="bad"): 2.0}, MASS, MOD, ValueError, "'bad'"),
    ({record("PEKAR", "GAKE", mh="bad"): 1.0, 7: 2.0}, MASS, MOD, AttributeError, "'int' object has no attribute 'split'"),  # a key that is no text
    ({7: 1.0, record("PEKAR", "GAKE", mh="bad"): 2.0}, MASS, MOD, ValueError, "'bad'"),   # ... fails in its turn
    # an atom mass that is no number goes through 2*H + O + H by the host's rules: a text or a
    # list is repeated, mm_O is still read, and it fails where a number is added to it
    ({record("PEKAR", "GAKE"): 1.0}, MASS, {**MOD, "mm_H": "x"}, TypeError, 'can only concatenate str (not "float") to str'),
    ({record("PEKAR", "GAKE"): 1.0}, MASS, {"mm_H": [1]}, KeyError, "'mm_O'"),
    ({record("PEKAR", "GAKE"): 1.0}, MASS, {"mm_H": [1], "mm_O": [2]}, TypeError, "for +: 'float' and 'list'"),
    ({record("PEKAR", "GAKE"): 1.0}, MASS, {**MOD, "mm_H": None}, TypeError, "for *: 'NoneType' and 'int'"),
    # ints beyond 64 bits are refused where the check would compute with them
    ({record("PEKAR", "GAKE"): 1.0}, {**MASS, "K": 2 ** 64}, MOD, OverflowError, "64-bit"),
])
def test_errors_in_the_hosts_order(mod, xl, mass, mod_dict, exc, text):
    with pytest.raises(exc) as info:
        call(mod, xl, mass=mass, mod_dict=mod_dict)
    assert text in str(info.value)

