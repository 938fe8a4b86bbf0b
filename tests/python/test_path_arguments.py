"""File path arguments: every function that opens a file takes what open() takes."""
import os
import pathlib
import zipfile

import pytest

MGF = "BEGIN IONS\nTITLE=t.5.5.2\nPEPMASS=500.25 10.0\nCHARGE=2+\nSCANS=5\n100.5 7.0\nEND IONS\n"
PSM = ("First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\t"
       "Protein Descriptions\tMH+ [Da]\tModifications\n"
       "10\tHigh\tUnambiguous\tAkDEFR\tP1\td\t1000.5\t\n")
LINKER = (100.5, 50.25, "DSSO_long", "DSSO_short")


def make_mgf(path):
    path.write_text(MGF)


def make_dta_zip(path):
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("x.7.7.0.dta", "500.5 2\n100.5 7.0\n")


def make_psm(path):
    path.write_text(PSM)


READERS = [
    ("read_ms_Mgf", make_mgf, lambda mod, p: mod.read_ms_Mgf(p)),
    ("read_ms_DtaZip", make_dta_zip, lambda mod, p: mod.read_ms_DtaZip(p)),
    ("read_PD_PSM_results_tsv_wrapper", make_psm,
     lambda mod, p: mod.read_PD_PSM_results_tsv_wrapper(p, {}, *LINKER)),
]

# A name that is not UTF-8 reaches the file system byte for byte (surrogateescape round trip).
FORMS = [
    ("str", lambda p: str(p)),
    ("bytes", lambda p: os.fsencode(p)),
    ("PathLike", lambda p: pathlib.Path(p)),
]


@pytest.mark.parametrize("name", [b"in.txt", b"caf\xe9.txt"])
@pytest.mark.parametrize("form, convert", FORMS)
@pytest.mark.parametrize("function, make, call", READERS)
def test_readers_take_every_path_form(mod, tmp_path, function, make, call, form, convert, name):
    if function == "read_ms_DtaZip" and form == "bytes":
        pytest.skip("the zip reader takes anything but a text path for an open file")
    path = os.path.join(os.fsencode(tmp_path), name)
    make(pathlib.Path(os.fsdecode(path)))
    expected = call(mod, str(tmp_path / os.fsdecode(name)))
    assert expected and call(mod, convert(os.fsdecode(path))) == expected


@pytest.mark.parametrize("form, convert", FORMS)
def test_write_XL_takes_every_path_form(mod, tmp_path, form, convert):
    path = tmp_path / "caf\udce9.tsv"
    mod.write_XL([], convert(path))
    assert os.path.exists(os.path.join(os.fsencode(tmp_path), b"caf\xe9.tsv"))


@pytest.mark.parametrize("call", [
    lambda mod, p: mod.read_ms_Mgf(p),
    lambda mod, p: mod.read_PD_PSM_results_tsv_wrapper(p, {}, *LINKER),
    lambda mod, p: mod.write_XL([], p),
])
def test_other_objects_are_refused_as_open_does(mod, call):
    with pytest.raises(TypeError, match=r"^expected str, bytes or os\.PathLike object, not float$"):
        call(mod, 1.5)


@pytest.mark.parametrize("arg, kind", [(1.5, "float"), (b"x.zip", "bytes")])
def test_the_zip_reader_takes_other_objects_for_open_files(mod, arg, kind):
    with pytest.raises(AttributeError, match=rf"^'{kind}' object has no attribute 'seek'$"):
        mod.read_ms_DtaZip(arg)


NUL_CALLS = [
    lambda mod, p: mod.read_ms_Mgf(p),
    lambda mod, p: mod.read_ms_DtaZip(p),
    lambda mod, p: mod.read_PD_PSM_results_tsv_wrapper(p, {}, *LINKER),
    lambda mod, p: mod.write_XL([], p),
]


@pytest.mark.parametrize("call", NUL_CALLS)
@pytest.mark.parametrize("suffix", ["\0junk", b"\0junk"])
def test_a_nul_byte_never_opens_the_name_before_it(mod, tmp_path, call, suffix):
    """The C library would stop at the NUL and open another file than the one named."""
    make_mgf(tmp_path / "x")
    base = str(tmp_path / "x")
    if call is NUL_CALLS[1] and not isinstance(suffix, str):
        pytest.skip("bytes are no path for the zip reader")
    path = base + suffix if isinstance(suffix, str) else os.fsencode(base) + suffix
    with pytest.raises(ValueError, match="^embedded null byte$"):
        call(mod, path)
    assert (tmp_path / "x").read_text() == MGF
