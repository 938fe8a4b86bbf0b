import pytest

from helpers.scored_lines import line


def fields(out):
    assert out.endswith("\n") and not out.endswith("\n\n")
    return out[:-1].split("\t")


@pytest.mark.parametrize("ids, desc, kept_ids, kept_desc", [
    ("P1;randomP2;P3", "d1;d2;d3", "P1;P3", "d1;d3"),
    ("RANDOM1;P2_random", "d1;d2", "RANDOM1", "d1"),
    ("P1; P2 ;;P1", "d1 ;d2;d3;d4", "P1;P2;;P1", "d1;d2;d3;d4"),
    # identifiers and descriptions are handled apart: a kept id may lack a description
    ("P1;random2;P3", "d1;d2", "P1;P3", "d1"),
])
def test_decoys_and_their_descriptions_leave(mod, ids, desc, kept_ids, kept_desc):
    src = line(9.5, ids_a=ids, desc_a=desc, ids_b=ids, desc_b=desc, remarks="r1;\udc80 r2").split("\t")
    f = fields(mod.remove_random(["\t".join(src)])[0])
    assert f[9:11] == f[12:14] == [kept_ids, kept_desc]
    assert f[:9] + [f[11]] + f[14:] == src[:9] + [src[11]] + src[14:]


def test_field_counts_edges_and_errors(mod):
    base = line(1.0, ids_a="randomX", desc_a="dx").split("\t")
    out = mod.remove_random(["\t".join(base[:14]), " \t" + "\t".join(base[1:]) + "\t\r\n"])
    assert [fields(o) for o in out] == [base[:9] + ["", ""] + base[11:14] + [""],
                                        [""] + base[1:9] + ["", ""] + base[11:] + [""]]
    for bad, exc in (("\t".join(base[:13]), IndexError), (None, AttributeError), (line(1.0).encode(), TypeError)):
        with pytest.raises(exc):
            mod.remove_random([line(1.0), bad])
