import decimal
import fractions
import math
import random

import pytest

from helpers.scored_lines import decoy, line

EXAMPLE = [line(50, "AAK", "GGK"), line(40, "PPK", "EEK"), decoy(30, "RRK", "EEK"),
           line(20, "KKR", "GGK"), line(10, "DDK", "GGK")]


# Plain cut-offs, ties and decoys are the random comparison's below.
@pytest.mark.parametrize("cutoff, kept", [
    (5, [0, 1]),       # 20.0, 25.0 and 33.33 fail; the two best lines pass with 0.0
    (True, [0, 1]),    # a bool is the integer 1
    (-2 ** 70, []),
    # other kinds of number compare with the estimates as the host compares them
    (decimal.Decimal("19.99"), [0, 1]),
    (fractions.Fraction(20), [0, 1, 3, 4]),
])
def test_examples(mod, cutoff, kept):
    assert mod.filter_XL_FDR(EXAMPLE[::-1], cutoff) == mod.remove_random([EXAMPLE[i] for i in kept])


@pytest.mark.parametrize("lines, cutoff, exc", [
    # sorted() takes every line before it reads one: the iteration fails before the 3 does
    ((1 / 0 if x is None else x for x in (line(1), 3, line(2), None)), 5, ZeroDivisionError),
    (["x\t1"], "5", ValueError),                 # the sort fails before the cut-off is judged
    ([line(1), 3], 5, AttributeError),
    ([line(1), line(2).encode()], 5, TypeError),    # bytes have split, but not at a text tab
    ([line(1)], "5", TypeError),
    ([], None, TypeError),
    ([line(1)], math.nan, ValueError),
    ([line(1)], decimal.Decimal("NaN"), decimal.InvalidOperation),
])
def test_errors(mod, lines, cutoff, exc):
    with pytest.raises(exc):
        mod.filter_XL_FDR(lines, cutoff)


def random_case(rng):
    peptides = ["AAK", "GGK", "PPK", "EEK", "RRK", "AAK;GGK"]
    ids = ["P1", "P2", "random_P3", "random_P4", "P5;random_P6", "random_P7;random_P8", ""]
    lines = [line(rng.choice([rng.randrange(6), rng.randrange(6) + 0.5, float(rng.randrange(6))]),
                  rng.choice(peptides), rng.choice(peptides), ids_a=rng.choice(ids), ids_b=rng.choice(ids),
                  desc_a="d1;d2") for _ in range(rng.randrange(25))]
    return lines, rng.choice([-1, 0, 0.0, 5, 12.5, 20, 25, 33.33, 33.34, 50, 66.67, 99.99, 100, 250])


def loop_cut(mod, lines, cutoff):
    """The cut as a plain loop: estimate each shortened list, longest first."""
    lines = sorted(lines, key=lambda l: float(l.split("\t")[0]), reverse=True)
    for m in range(len(lines), 0, -1):
        fdr, targets = mod.FDR_XL_list(lines[:m])
        if fdr <= cutoff:
            return mod.remove_random(targets)
    return []


@pytest.mark.parametrize("rebind", [None, "FDR_XL_list", "remove_random", "both"])
def test_fast_cut_matches_the_loop_on_random_lists(mod, rebind):
    rng = random.Random(20261206)
    own_fdr, own_rr = mod.FDR_XL_list, mod.remove_random
    calls = []
    for _ in range(400 if rebind is None else 150):
        lines, cutoff = random_case(rng)
        expected = loop_cut(mod, lines, cutoff)
        if rebind in ("FDR_XL_list", "both"):
            mod.FDR_XL_list = lambda ls: calls.append(len(ls)) or own_fdr(ls)
        if rebind in ("remove_random", "both"):
            mod.remove_random = lambda targets: own_rr(list(targets))
        calls.clear()
        assert mod.filter_XL_FDR(lines, cutoff) == expected
        if rebind in ("FDR_XL_list", "both") and lines:  # called by name, the whole list first
            assert calls and calls == list(range(len(lines), len(lines) - len(calls), -1))
        mod.FDR_XL_list, mod.remove_random = own_fdr, own_rr


def test_rebound_results_are_taken_as_the_host_would(mod):
    sentinel = object()
    mod.remove_random = lambda targets: sentinel
    assert mod.filter_XL_FDR(EXAMPLE, 5) is sentinel
    for result, exc, text in [(None, TypeError, "cannot unpack non-iterable NoneType object"),
                              ((0.0,), ValueError, r"not enough values to unpack \(expected 2, got 1\)"),
                              ((0.0, [], 1), ValueError, r"too many values to unpack \(expected 2\)"),
                              (("NA", []), TypeError, "'<=' not supported")]:
        mod.FDR_XL_list = lambda lines, r=result: r
        with pytest.raises(exc, match=text):
            mod.filter_XL_FDR(EXAMPLE, 5)
    del mod.FDR_XL_list
    assert mod.filter_XL_FDR([], 5) == []
    with pytest.raises(NameError):
        mod.filter_XL_FDR(EXAMPLE, 5)


def test_estimate_rebound_back_to_the_module_own_midway(mod):
    own, calls = mod.FDR_XL_list, []

    def once(lines):
        calls.append(len(lines))
        mod.FDR_XL_list = own
        return 100.0, []

    mod.FDR_XL_list = once
    # The whole list (20.0) would pass; refused by the rebound estimate, the own one decides the rest.
    assert mod.filter_XL_FDR(EXAMPLE, 20) == mod.remove_random(EXAMPLE[:2])
    assert calls == [5]
