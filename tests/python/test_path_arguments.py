"""File path arguments: every function that opens a file takes what open() takes."""
import os
import pathlib

import pytest

from helpers.readers import MGF, READ_MGF, READ_PSM, READ_ZIP, READERS


def write_xl(mod, path):
    return mod.write_XL([], path)


# A name that is not UTF-8 reaches the file system byte for byte (surrogateescape round trip).
FORMS = [("str", str), ("bytes", os.fsencode), ("PathLike", pathlib.Path)]


@pytest.mark.parametrize("name", [b"in.txt", b"caf\xe9.txt"])
@pytest.mark.parametrize("form, convert", FORMS)
@pytest.mark.parametrize("function, make, call", READERS)
def test_readers_take_every_path_form(mod, tmp_path, function, make, call, form, convert, name):
    if call is READ_ZIP and form == "bytes":
        pytest.skip("the zip reader takes anything but a text path for an open file")
    path = os.fsdecode(os.path.join(os.fsencode(tmp_path), name))
    make(pathlib.Path(path))
    expected = call(mod, str(tmp_path / os.fsdecode(name)))
    assert expected and call(mod, convert(path)) == expected


@pytest.mark.parametrize("form, convert", FORMS)
def test_write_XL_takes_every_path_form(mod, tmp_path, form, convert):
    write_xl(mod, convert(tmp_path / "caf\udce9.tsv"))
    assert os.path.exists(os.path.join(os.fsencode(tmp_path), b"caf\xe9.tsv"))


@pytest.mark.parametrize("call, arg, exc, expected", [
    (call, 1.5, TypeError, "expected str, bytes or os.PathLike object, not float") for call in (READ_MGF, READ_PSM, write_xl)
] + [
    # The zip reader takes any other object for an open file.
    (READ_ZIP, 1.5, AttributeError, "'float' object has no attribute 'seek'"),
    (READ_ZIP, b"x.zip", AttributeError, "'bytes' object has no attribute 'seek'"),
])
def test_other_objects_are_refused_as_open_does(mod, call, arg, exc, expected):
    with pytest.raises(exc) as info:
        call(mod, arg)
    assert str(info.value) == expected


@pytest.mark.parametrize("call", [READ_MGF, READ_ZIP, READ_PSM, write_xl])
@pytest.mark.parametrize("suffix", ["\0junk", b"\0junk"])
def test_a_nul_byte_never_opens_the_name_before_it(mod, tmp_path, call, suffix):
    """The C library would stop at the NUL and open another file than the one named."""
    if call is READ_ZIP and isinstance(suffix, bytes):
        pytest.skip("bytes are no path for the zip reader")
    (tmp_path / "x").write_text(MGF)
    base = str(tmp_path / "x")
    with pytest.raises(ValueError, match="^embedded null byte$"):
        call(mod, base + suffix if isinstance(suffix, str) else os.fsencode(base) + suffix)
    assert (tmp_path / "x").read_text() == MGF


@pytest.mark.parametrize("call", [READ_MGF, READ_ZIP, READ_PSM])
def test_a_name_that_is_not_utf8_is_reported_as_given(mod, tmp_path, call):
    """Errors name the file in the interpreter's decoding of it, whatever its bytes."""
    missing = str(tmp_path / "caf\udce9.missing")
    with pytest.raises(FileNotFoundError) as info:
        call(mod, missing)
    assert info.value.filename == missing
    if call is not READ_ZIP:
        bad = tmp_path / "caf\udce9.txt"
        bad.write_bytes(b"x\n\xff\n")
        with pytest.raises(UnicodeDecodeError) as info:
            call(mod, bad)
        assert info.value.object[info.value.start:info.value.end] == b"\xff"
        assert info.value.__notes__ == [f"in file '{bad}', line 2"]
