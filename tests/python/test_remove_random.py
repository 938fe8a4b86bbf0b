import pytest

from helpers.scored_lines import line


def fields(out):
    assert out.endswith("\n") and not out.endswith("\n\n")
    return out[:-1].split("\t")


@pytest.mark.parametrize("ids, desc, kept_ids, kept_desc", [
    ("P1;randomP2;P3", "d1;d2;d3", "P1;P3", "d1;d3"),
    ("RANDOM1;P2_random", "d1;d2", "RANDOM1", "d1"),
    ("random1;random2", "d1;d2", "", ""),
    ("P1; P2 ;;P1", "d1 ;d2;d3;d4", "P1;P2;;P1", "d1;d2;d3;d4"),
    ("P1", "d1;d2", "P1", "d1"),
    # identifiers and descriptions are de-duplicated apart: a kept id may lack a description
    ("P1;P2;P3", "d1", "P1;P2;P3", "d1"),
    ("P1;random2;P3", "d1;d2", "P1;P3", "d1"),
])
def test_decoys_and_their_descriptions_leave(mod, ids, desc, kept_ids, kept_desc):
    src = line(9.5, ids_a=ids, desc_a=desc, ids_b=ids, desc_b=desc, remarks="r1; r2").split("\t")
    (out,) = mod.remove_random(["\t".join(src)])
    f = fields(out)
    assert f[9:11] == f[12:14] == [kept_ids, kept_desc]
    assert f[:9] + [f[11]] + f[14:] == src[:9] + [src[11]] + src[14:]


def test_field_counts_and_edges(mod):
    base = line(1.0, ids_a="randomX", desc_a="dx").split("\t")
    fourteen = "\t".join(base[:14])
    trailing_empty = "\t".join(base[:15]) + "\t"       # empty fraction
    leading_empty = "\t" + "\t".join(base[1:])         # empty score
    out = mod.remove_random([fourteen, trailing_empty, " " + leading_empty + "\r\n"])
    assert [len(fields(o)) for o in out] == [15, 16, 16]
    assert fields(out[0])[-1] == "" and fields(out[1])[15] == ""
    assert fields(out[2])[0] == "" and fields(out[2])[9] == ""


def test_errors(mod):
    with pytest.raises(IndexError):
        mod.remove_random([line(1.0), "\t".join(line(1.0).split("\t")[:13])])
    with pytest.raises(AttributeError):
        mod.remove_random([line(1.0), None])
    with pytest.raises(TypeError, match="bytes-like"):
        mod.remove_random([line(1.0).encode()])
