import decimal
import fractions
import math

import pytest

from scored_lines import record


def key(pep_a, pep_b, fraction="F1", **kw):
    return record(pep_a, pep_b, **kw) + "\t" + fraction


def test_worked_example(mod):
    k1, k2 = key("TKGDR;TKGER", "KVLEA"), key("KVLEA", "TKGDR", "F2")
    k3, k4 = key("TKGDR", "KVLEA", "F2"), key("MNKSE", "MNKSE")
    assert mod.XL_recurrence_score({k1: 30.0, k2: 12.5, k3: 30.0, k4: 31.0}) == [
        "32.0\t3\t" + k1, "31.0\t1\t" + k4]


@pytest.mark.parametrize("score, csms, field0", [
    (1.0, 2, "2.0"), (0, 1, "0"), (0, 3, "2"), (-3, 1, "-3"), (39.6, 1, "39.6"),
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


def test_pairs_in_both_orientations_and_same_peptides(mod):
    ab, ba = key("AAK", "GGK", "F1"), key("GGK", "AAK", "F2")
    aa1, aa2 = key("PPK", "PPK", "F1"), key("PPK", "PPK", "F2")
    out = mod.XL_recurrence_score({ab: 1.5, ba: 7.25, aa1: 3.0, aa2: 1.0})
    assert out == ["8.25\t2\t" + ba, "4.0\t2\t" + aa1]


def test_edge_blanks_count_with_their_pair(mod):
    # A key with blanks around its peptides belongs to the same pair as its clean twin.
    clean, padded = key("AAK", "GGK"), key(" AAK ", "GGK ", "F2")
    out = mod.XL_recurrence_score({clean: 5.0, padded: 1.0})
    assert out == ["6.0\t2\t" + clean]
    assert mod.XL_recurrence_score({padded: 0}) == ["0\t1\t" + padded]


def test_empty_edge_fields_keep_their_places(mod):
    first_empty = key("AAK", "GGK")[len("High"):]   # empty class field: the key opens with a tab
    out = mod.XL_recurrence_score({first_empty: 1.0, key("AAK", "GGK", "F2"): 0.5})
    assert out == ["2.0\t2\t" + first_empty]


def test_final_order_by_raised_score_stable_on_ties(mod):
    many = {key("AAK", "GGK", remarks=str(i)): 1.0 for i in range(4)}
    single = key("PPK", "EEK")
    tie_int, tie_float = key("RRK", "EEK"), key("KKR", "EEK")
    out = mod.XL_recurrence_score({single: 3.5, tie_int: 2, tie_float: 2.0, **many})
    assert [l.split("\t")[0] for l in out] == ["4.0", "3.5", "2", "2.0"]
    assert out[2].endswith(tie_int) and out[3].endswith(tie_float)


def test_nan_scores_take_the_hosts_order(mod):
    scores = [1.0, math.nan, 3.0, 2.0, math.nan, 0.5]
    keys = [key("AAK", f"G{i}K") for i in range(len(scores))]
    out = mod.XL_recurrence_score(dict(zip(keys, scores)))
    expect = sorted(range(len(scores)), key=lambda i: scores[i], reverse=True)
    assert [l.split("\t", 2)[2] for l in out] == [keys[i] for i in expect]


def test_errors(mod):
    assert mod.XL_recurrence_score({}) == []
    with pytest.raises(IndexError):
        mod.XL_recurrence_score({key("AAK", "GGK"): 9.0, "a\tb\tc\td\te\tf\tAAK\th\ti": 1.0})
    # keys are split in map order: the first faulty key decides
    with pytest.raises(IndexError):
        mod.XL_recurrence_score({"a\tb": 9.0, 5: 1.0})
    with pytest.raises(TypeError, match="bytes-like"):
        mod.XL_recurrence_score({key("AAK", "GGK"): 9.0, b"x": 1.0, "a\tb": 2.0})
    with pytest.raises(TypeError):
        mod.XL_recurrence_score({key("AAK", "GGK"): "9", key("AAK", "PPK"): 1.0})
    # a lone score is never compared: it fails when the count is added to it
    for score, text in [("9", r'can only concatenate str \(not "int"\) to str'),
                        ([9], r'can only concatenate list \(not "int"\) to list'),
                        (None, r"unsupported operand type\(s\) for \+: 'NoneType' and 'int'")]:
        with pytest.raises(TypeError, match=text):
            mod.XL_recurrence_score({key("AAK", "GGK"): score})
    # a rounded score whose text does not read as a float fails the final sort
    with pytest.raises(ValueError, match="'33/100'"):
        mod.XL_recurrence_score({key("AAK", "GGK"): fractions.Fraction(1, 3)})
    with pytest.raises(TypeError):
        mod.XL_recurrence_score([key("AAK", "GGK")])
