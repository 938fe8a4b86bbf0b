import decimal
import fractions
import math

import pytest

from helpers.scored_lines import record


def key(pep_a, pep_b, fraction="F1", **kw):
    return record(pep_a, pep_b, **kw) + "\t" + fraction


K1, K2, K3, K4 = key("TKGDR;TKGER", "KVLEA"), key("KVLEA", "TKGDR", "F2"), key("TKGDR", "KVLEA", "F2"), key("MNKSE", "MNKSE")
AB, BA, AA1, AA2 = key("AAK", "GGK"), key("GGK", "AAK", "F2"), key("PPK", "PPK"), key("PPK", "PPK", "F2")
PADDED = key(" AAK ", "GGK ", "F2")
FIRST_EMPTY = AB[len("High"):]   # empty class field: the key opens with a tab
SHORTEST = "a\tb\tc\td\te\tf\tAAK\th\ti\tGGK"


@pytest.mark.parametrize("xl, expected", [
    ({K1: 30.0, K2: 12.5, K3: 30.0, K4: 31.0}, ["32.0\t3\t" + K1, "31.0\t1\t" + K4]),
    ({AB: 1.5, BA: 7.25, AA1: 3.0, AA2: 1.0}, ["8.25\t2\t" + BA, "4.0\t2\t" + AA1]),
    # blanks around the peptides: the same pair as the clean twin, the line kept as it was
    ({AB: 5.0, PADDED: 1.0}, ["6.0\t2\t" + AB]),
    ({PADDED: 0}, ["0\t1\t" + PADDED]),
    ({FIRST_EMPTY: 1.0, key("AAK", "GGK", "F2"): 0.5}, ["2.0\t2\t" + FIRST_EMPTY]),
    # by raised score, an int and a float tie kept in their order
    ({K4: 3.5, AB: 2, BA: 1.0, AA1: 2.0, **{key("RRK", "EEK", remarks=str(i)): 1.0 for i in range(3)}},
     ["3.5\t1\t" + K4, "3\t2\t" + AB, "3.0\t3\t" + key("RRK", "EEK", remarks="0"), "2.0\t1\t" + AA1]),
    ({}, []),
    # the shortest key: peptide B is its last field (one field fewer is an IndexError below)
    ({SHORTEST: 1.0}, ["1.0\t1\t" + SHORTEST]),
])
def test_pairs(mod, xl, expected):
    assert mod.XL_recurrence_score(xl) == expected


@pytest.mark.parametrize("score, csms, field0", [
    (1.0, 2, "2.0"), (0, 3, "2"), (-3, 1, "-3"),
    (2.675, 1, "2.67"),    # stored just below the 5: rounds down
    (0.125, 1, "0.12"),    # exact tie: to the even digit
    (0.375, 1, "0.38"),
    (1e16, 1, "1e+16"), (1e-5, 1, "0.0"),
    # numbers the core cannot hold are raised and rounded by the host
    (2 ** 70, 2, str(2 ** 70 + 1)), (decimal.Decimal("1.005"), 1, "1.00"),
])
def test_score_text(mod, score, csms, field0):
    xl = {key("AAK", "GGK", remarks=str(i)): score for i in range(csms)}
    (out,) = mod.XL_recurrence_score(xl)
    assert out.split("\t")[:2] == [field0, str(csms)]


def test_nan_scores_take_the_hosts_order(mod):
    scores = [1.0, math.nan, 3.0, 2.0, math.nan, 0.5]
    keys = [key("AAK", f"G{i}K") for i in range(len(scores))]
    out = mod.XL_recurrence_score(dict(zip(keys, scores)))
    expect = sorted(range(len(scores)), key=lambda i: scores[i], reverse=True)
    assert [l.split("\t", 2)[2] for l in out] == [keys[i] for i in expect]


@pytest.mark.parametrize("xl, exc, text", [
    ({AB: 9.0, SHORTEST.rsplit("\t", 1)[0]: 1.0}, IndexError, ""),
    ({"a\tb": 9.0, 5: 1.0}, IndexError, ""),   # keys are split in map order: the first faulty key decides
    ({AB: 9.0, b"x": 1.0, "a\tb": 2.0}, TypeError, "bytes-like"),
    ({AB: "9", key("AAK", "PPK"): 1.0}, TypeError, "'<' not supported"),
    # a lone score is never compared: it fails when the count is added to it
    ({AB: "9"}, TypeError, r'can only concatenate str \(not "int"\) to str'),
    ({AB: None}, TypeError, r"unsupported operand type\(s\) for \+: 'NoneType' and 'int'"),
    # a rounded score whose text does not read as a float fails the final sort
    ({AB: fractions.Fraction(1, 3)}, ValueError, "'33/100'"),
    ([], AttributeError, "'list' object has no attribute 'keys'"),   # what is no map has no keys
    (None, AttributeError, "'NoneType' object has no attribute 'keys'"),
])
def test_errors(mod, xl, exc, text):
    with pytest.raises(exc, match=text):
        mod.XL_recurrence_score(xl)
