import decimal
import fractions
import math

import pytest

from helpers.scored_lines import record


def key(pep_a, pep_b, fraction="F1", **kw):
    return record(pep_a, pep_b, **kw) + "\t" + fraction


K1, K2, K3, K4 = key("TKGDR;TKGER", "KVLEA"), key("KVLEA", "TKGDR", "F2"), key("TKGDR", "KVLEA", "F2"), key("MN\udc80KSE", "MN\udc80KSE")
AB, BA, AA1, AA2 = key("AAK", "GGK"), key("GGK", "AAK", "F2"), key("PPK", "PPK"), key("PPK", "PPK", "F2")
PADDED = key(" AAK ", "GGK ", "F2")
SHORTEST = "a\tb\tc\td\te\tf\tAAK\th\ti\tGGK"   # peptide B is its last field


@pytest.mark.parametrize("xl, expected", [
    ({K1: 30.0, K2: 12.5, K3: 30.0, K4: 31.0}, ["32.0\t3\t" + K1, "31.0\t1\t" + K4]),
    ({AB: 1.5, BA: 7.25, AA1: 3.0, AA2: 1.0}, ["8.25\t2\t" + BA, "4.0\t2\t" + AA1]),
    # blanks around the peptides: the same pair as the clean twin, the line kept as it was
    ({AB: 5.0, PADDED: 1.0}, ["6.0\t2\t" + AB]),
    # by raised score, an int and a float tie kept in their order
    ({K4: 3.5, AB: 2, BA: 1.0, AA1: 2.0, **{key("RRK", "EEK", remarks=str(i)): 1.0 for i in range(3)}},
     ["3.5\t1\t" + K4, "3\t2\t" + AB, "3.0\t3\t" + key("RRK", "EEK", remarks="0"), "2.0\t1\t" + AA1]),
    ({SHORTEST: 1.0}, ["1.0\t1\t" + SHORTEST]),
    ({AB: 2.675}, ["2.67\t1\t" + AB]),   # stored just below the 5: rounds down
    ({AB: 0.125}, ["0.12\t1\t" + AB]),   # exact tie: to the even digit
    # numbers the core cannot hold are raised and rounded by the host
    ({AB: 2 ** 70, BA: 0}, ["%d\t2\t%s" % (2 ** 70 + 1, AB)]), ({AB: decimal.Decimal("1.005")}, ["1.00\t1\t" + AB]),
])
def test_pairs(mod, xl, expected):
    assert mod.XL_recurrence_score(xl) == expected


def test_nan_scores_take_the_hosts_order(mod):
    scores = [1.0, math.nan, 3.0, 2.0, math.nan, 0.5]
    keys = [key("AAK", f"G{i}K") for i in range(len(scores))]
    out = mod.XL_recurrence_score(dict(zip(keys, scores)))
    assert [l.split("\t", 2)[2] for l in out] == sorted(keys, key=dict(zip(keys, scores)).get, reverse=True)


@pytest.mark.parametrize("xl, exc, text", [
    ({AB: 9.0, SHORTEST.rsplit("\t", 1)[0]: 1.0}, IndexError, ""),
    ({AB: "9", key("AAK", "PPK"): 1.0}, TypeError, "'<' not supported"),
    ({AB: None}, TypeError, r"unsupported operand type\(s\) for \+: 'NoneType' and 'int'"),
    ({"a\tb": 9.0, 5: 1.0}, IndexError, ""),   # keys are split in map order: the first faulty key decides
    # a rounded score whose text does not read as a float fails the final sort
    ({AB: fractions.Fraction(1, 3)}, ValueError, "'33/100'"),
])
def test_errors(mod, xl, exc, text):
    with pytest.raises(exc, match=text):
        mod.XL_recurrence_score(xl)
