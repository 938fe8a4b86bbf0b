import pytest

import Vombrelle1pt0_Submission as V


@pytest.mark.parametrize("seq,idfun,expected", [
    ([], None, []),
    (["red", "blue", "red", "green", "blue"], None, ["red", "blue", "green"]),
    (["Red", "red", "Blue"], str.lower, ["Red", "Blue"]),
    (["aa", "b", "cc"], len, ["aa", "b"]),             # items kept, not their markers
    ([1.0, 1, True, 2], None, [1.0, 2]),               # markers compared as dict keys
    ((x for x in "abca"), None, ["a", "b", "c"]),      # any iterable, read once
    (["Ab", "ab"], None, ["Ab", "ab"]),                # case matters without idfun; nothing repeats
])
def test_uniq_keeps_first_of_each_marker(seq, idfun, expected):
    result = V.uniq(seq, idfun)
    assert result == expected
    assert [type(x) for x in result] == [type(x) for x in expected]
    assert result is not seq  # a new list, even when nothing repeats


@pytest.mark.parametrize("args, expected", [
    (([[1], [1]],), "unhashable type: 'list'"),
    ((["a"], lambda x: [x]), "unhashable type: 'list'"),
    ((5,), "'int' object is not iterable"),
])
def test_uniq_type_errors(args, expected):
    with pytest.raises(TypeError) as info:
        V.uniq(*args)
    assert str(info.value) == expected
