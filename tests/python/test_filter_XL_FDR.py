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
    (-2 ** 70, []),
    # other kinds of number compare with the estimates as the host compares them
    (fractions.Fraction(20), [0, 1, 3, 4]),
])
def test_examples(mod, cutoff, kept):
    assert mod.filter_XL_FDR(EXAMPLE[::-1], cutoff) == mod.remove_random([EXAMPLE[i] for i in kept])


@pytest.mark.parametrize("lines, cutoff, exc", [
    # sorted() takes every line before it reads one: the iteration fails before the 3 does
    ((1 / 0 if x is None else x for x in (line(1), 3, line(2), None)), 5, ZeroDivisionError),
    ([line(1)], "5", TypeError),
    ([], None, TypeError),   # the cut-off is compared before the first line is taken off
    ([line(1)], math.nan, ValueError),
])
def test_errors(mod, lines, cutoff, exc):
    with pytest.raises(exc):
        mod.filter_XL_FDR(lines, cutoff)


PEPTIDES = ["AAK", "GGK", "PPK", "EEK", "RRK", "AAK;GGK"]
IDS = ["P1", "P2", "random_P3", "random_P4", "P5;random_P6", "random_P7;random_P8", ""]


@pytest.mark.parametrize("rebind", [False, True])
def test_fast_cut_matches_the_estimates_of_each_shortened_list(mod, rebind):
    rng = random.Random(20261206)
    own_fdr, own_rr, calls = mod.FDR_XL_list, mod.remove_random, []
    if rebind:  # called by name, the whole list first
        mod.FDR_XL_list = lambda ls: calls.append(len(ls)) or own_fdr(ls)
        mod.remove_random = lambda targets: own_rr(list(targets))
    for _ in range(400):
        lines = [line(rng.choice([rng.randrange(6), rng.randrange(6) + 0.5, float(rng.randrange(6))]), rng.choice(PEPTIDES),
                      rng.choice(PEPTIDES), ids_a=rng.choice(IDS), ids_b=rng.choice(IDS), desc_a="d1;d2")
                 for _ in range(rng.randrange(25))]
        cutoff = rng.choice([-1, 0, 0.0, 5, 12.5, 20, 25, 33.33, 33.34, 50, 66.67, 99.99, 100, 250])
        # the cut as a plain loop: estimate each shortened list, longest first
        ordered, expected = sorted(lines, key=lambda l: float(l.split("\t")[0]), reverse=True), []
        for m in range(len(ordered), 0, -1):
            fdr, targets = own_fdr(ordered[:m])
            if fdr <= cutoff:
                expected = own_rr(targets)
                break
        calls.clear()
        assert mod.filter_XL_FDR(lines, cutoff) == expected
        assert not rebind or not lines or calls == list(range(len(lines), len(lines) - len(calls), -1)) != []


def test_rebound_results_are_taken_as_the_host_would(mod):
    sentinel = object()
    mod.remove_random = lambda targets: sentinel   # its result is returned unchanged
    assert mod.filter_XL_FDR(EXAMPLE, 5) is sentinel
    mod.remove_random = lambda targets: targets
    assert mod.filter_XL_FDR(EXAMPLE, 5) == EXAMPLE[:2]
    for result, exc in [(None, TypeError), ((0.0, [], 1), ValueError), (("NA", []), TypeError)]:
        mod.FDR_XL_list = lambda lines, r=result: r
        with pytest.raises(exc):
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
    # Refused by the rebound estimate, the list goes on shortening under the module's own: the
    # lines above the decoy pass the cut-off 20 with 0.0.
    assert mod.filter_XL_FDR(EXAMPLE, 20) == mod.remove_random(EXAMPLE[:2]) and len(calls) == 1
