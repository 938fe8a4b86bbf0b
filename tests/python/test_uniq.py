import pytest

import Vombrelle1pt0_Submission as V


@pytest.mark.parametrize("seq,idfun,expected", [
    ([], None, []),
    (["red", "blue", "red", "green", "blue"], None, ["red", "blue", "green"]),
    (["Red", "red", "Blue"], str.lower, ["Red", "Blue"]),
    ([1, 1.0, 2], None, [1, 2]),                       # markers compared as dict keys
    ([1.0, 1, True], None, [1.0]),
    ("abca", None, ["a", "b", "c"]),                   # any iterable
    (["Ab", "ab"], None, ["Ab", "ab"]),                # case matters without idfun
])
def test_uniq_keeps_first_of_each_marker(seq, idfun, expected):
    result = V.uniq(seq, idfun)
    assert result == expected
    assert [type(x) for x in result] == [type(x) for x in expected]


def test_uniq_reads_a_generator_once_and_leaves_lists_alone():
    items = ["x", "y", "x"]
    assert V.uniq(x for x in items) == ["x", "y"]
    assert items == ["x", "y", "x"]
    out = V.uniq(items)
    assert out is not items


def test_uniq_returns_items_not_markers():
    assert V.uniq(["aa", "b", "cc"], len) == ["aa", "b"]


def test_uniq_unhashable_marker():
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        V.uniq([[1], [1]])
    with pytest.raises(TypeError, match="unhashable"):
        V.uniq(["a"], lambda x: [x])


def test_uniq_not_iterable():
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        V.uniq(5)
