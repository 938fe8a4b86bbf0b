import pytest

import Vombrelle1pt0_Submission as V


@pytest.mark.parametrize("seq, idfun, expected", [
    (["Red", "red", "Blue", "blue", "Red"], None, ["Red", "red", "Blue", "blue"]),
    (["Red", "red", "Blue"], str.lower, ["Red", "Blue"]),   # items kept, not their markers
    (["Red", "RED", "Blue"], str.lower, ["Red", "Blue"]),   # and compared by their markers
    ([1.0, 1, True, 2], None, [1.0, 2]),                     # markers compared as dict keys
    ((x for x in "abca"), None, ["a", "b", "c"]),            # any iterable, read once
])
def test_uniq_keeps_first_of_each_marker(seq, idfun, expected):
    result = V.uniq(seq=seq) if idfun is None else V.uniq(seq, idfun)  # idfun left out: by name
    assert result == expected and [type(x) for x in result] == [type(x) for x in expected] and result is not seq
