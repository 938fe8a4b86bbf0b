"""File path arguments: every function that opens a file takes what open() takes."""
import os
import pathlib

import pytest

from helpers.readers import MGF, READ_MGF, READ_PSM, READ_ZIP, READERS


write_xl = lambda mod, path: mod.write_XL([], path)  # noqa: E731


# A name that is not UTF-8 reaches the file system byte for byte (surrogateescape round trip).
@pytest.mark.parametrize("convert", [str, os.fsencode, pathlib.Path])
@pytest.mark.parametrize("function, make, call", READERS + [("write_XL", None, write_xl)])
def test_every_path_form_reaches_the_file_named(mod, tmp_path, function, make, call, convert):
    if call is READ_ZIP and convert is os.fsencode:
        pytest.skip("the zip reader takes anything but a text path for an open file")
    path = os.fsdecode(os.path.join(os.fsencode(tmp_path), b"caf\xe9.txt"))
    if make is None:
        call(mod, convert(path))
        assert os.path.exists(os.fsencode(path))
    else:
        make(pathlib.Path(path))
        expected = call(mod, str(tmp_path / os.fsdecode(b"caf\xe9.txt")))
        assert expected and call(mod, convert(path)) == expected


@pytest.mark.parametrize("call, arg, exc, expected", [
    (READ_MGF, 1.5, TypeError, "expected str, bytes or os.PathLike object, not float"),
    (READ_ZIP, b"x.zip", AttributeError, "'bytes' object has no attribute 'seek'"),   # taken for an open file
])
def test_other_objects_are_refused_as_open_does(mod, call, arg, exc, expected):
    with pytest.raises(exc) as info:
        call(mod, arg)
    assert str(info.value) == expected


@pytest.mark.parametrize("call", [READ_MGF, READ_ZIP, READ_PSM, write_xl])
def test_a_nul_byte_never_opens_the_name_before_it(mod, tmp_path, call):
    """The C library would stop at the NUL and open another file than the one named."""
    (tmp_path / "x").write_text(MGF)
    with pytest.raises(ValueError, match="^embedded null byte$"):
        call(mod, str(tmp_path / "x") + "\0junk")
    assert (tmp_path / "x").read_text() == MGF
