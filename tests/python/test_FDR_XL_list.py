import pytest

from helpers.scored_lines import decoy, line

T = [line(50, "AAK", "GGK"), line(40, "PPK", "EEK"), line(30, "RRK", "EEK")]
D = decoy(35, "DDK", "GGK")


@pytest.mark.parametrize("lines, fdr, kept", [
    ([], "NA", []),
    ([T[0]], 0.0, [0]),
    ([T[0], D, T[1]], 33.33, [0, 2]),
    ([T[0], line(5, "GGK", "AAK", ids_a="random9")], 0.0, [0]),        # reversed pair counts once
    ([decoy(9, "AAK", "GGK"), T[0]], 100.0, []),                        # the first line decides
    ([line(1, ids_a="random_P1;P2")], 0.0, [0]),                        # a decoy side is all decoys
    ([line(1, ids_a="P1", ids_b="P2_random")], 100.0, []),
])
def test_estimate(mod, lines, fdr, kept):
    got_fdr, targets = mod.FDR_XL_list(lines)
    assert type(got_fdr) is type(fdr) and got_fdr == fdr
    assert targets == [lines[i] for i in kept]


def test_lines_come_back_without_edge_blanks_but_keep_edge_tabs(mod):
    edge_tabs = "\t" + T[1].split("\t", 1)[1].rsplit("\t", 3)[0] + "\t\t\t"
    assert mod.FDR_XL_list(iter(["  " + T[0] + " \n", edge_tabs])) == (0.0, [T[0], edge_tabs])


def test_errors_in_line_order(mod):
    twelve, thirteen = ("\t".join(T[2].split("\t")[:n]) for n in (12, 13))
    with pytest.raises(IndexError):
        mod.FDR_XL_list([T[0], twelve])
    assert mod.FDR_XL_list([thirteen]) == (0.0, [thirteen])   # a counted line needs field 12, its last
    assert mod.FDR_XL_list([line(1, "RRK", "EEK"), twelve])[0] == 0.0   # seen pair: skipped
    # lines are used as they come: the 7 fails before the iteration, and after the line before it
    with pytest.raises(AttributeError, match="^'int' object has no attribute 'strip'$"):
        mod.FDR_XL_list(1 / 0 if x is None else x for x in (T[0], 7, None))
    with pytest.raises(IndexError):
        mod.FDR_XL_list(["a\tb", 7])
    with pytest.raises(TypeError, match="a bytes-like object is required, not 'str'"):
        mod.FDR_XL_list([T[0], T[1].encode()])
