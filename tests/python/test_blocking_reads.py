"""Blocking opens and reads release the interpreter lock: a FIFO served by another thread of the
caller, which opens it only once the call waits on it, is read (or written) to the end."""
import contextlib
import errno
import faulthandler
import io
import os
import stat
import threading
import time
import zipfile

import pytest

from helpers.scored_lines import line
from helpers.psm import LINKER, header, row
from helpers.rescue_fraction import run, two_scan_fraction


@pytest.fixture(autouse=True)
def watchdog():
    # A call that kept the lock would hang for good: end the run with every thread's stack instead.
    faulthandler.dump_traceback_later(300, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


def serve(path, data):
    """Writes `data` into a new FIFO at `path` from a thread that opens it only once a reader waits
    on it (before that, a non-blocking open for writing fails with ENXIO)."""
    os.mkfifo(path)
    errors = []

    def write():
        while True:
            try:
                fd = os.open(path, os.O_WRONLY | os.O_NONBLOCK)
                break
            except OSError as e:
                if e.errno != errno.ENXIO:
                    return errors.append(e)
                time.sleep(0.001)  # lets the caller run, if it ever lets go of the lock
        os.set_blocking(fd, True)
        with contextlib.suppress(BrokenPipeError):  # a reader may give up on the stream early
            os.write(fd, data)  # small: the pipe takes it whole
        os.close(fd)

    thread = threading.Thread(target=write, daemon=True)
    thread.start()
    return lambda: (thread.join(), errors)[1]


def test_psm_export_from_a_fifo(mod, tmp_path):
    # The peptide's only marked lysine ends it: the read asks the protein map midway.
    text = (header() + row(seq="LVTDLTk") + row(scan="11")).encode()
    (tmp_path / "file.txt").write_bytes(text)
    args = ({"P1": "MMLVTDLTK"}, *LINKER)
    expected = mod.read_PD_PSM_results_tsv_wrapper(str(tmp_path / "file.txt"), *args)
    assert 10 in expected[0]
    done = serve(tmp_path / "fifo", text)
    assert mod.read_PD_PSM_results_tsv_wrapper(str(tmp_path / "fifo"), *args) == expected
    assert done() == []


def test_mgf_from_a_fifo(mod, tmp_path):
    # The file is opened and read by a worker of the call's while the caller's thread waits for
    # what it reads, without the lock.
    text = b"".join(b"BEGIN IONS\nTITLE=t\nPEPMASS=500.5\nCHARGE=2+\nSCANS=%d\n100.5 2\n200.25 3\nEND IONS\n" % s
                    for s in range(1, 200))
    (tmp_path / "file.mgf").write_bytes(text)
    expected = mod.read_ms_Mgf(str(tmp_path / "file.mgf"))
    done = serve(tmp_path / "fifo", text)
    assert mod.read_ms_Mgf(str(tmp_path / "fifo")) == expected
    assert done() == []


def test_rescue_input_from_a_fifo(mod, tmp_path):
    paths = two_scan_fraction(tmp_path)
    expected = run(mod, paths, tmp_path / "out.mgf", 32.0, 50.0)
    assert expected
    with open(paths[1], "rb") as f:  # the MS2 spectra, read first
        done = serve(tmp_path / "ms2.fifo", f.read())
    paths[1] = str(tmp_path / "ms2.fifo")
    assert run(mod, paths, tmp_path / "out2.mgf", 32.0, 50.0) == expected
    assert done() == []


def test_dta_zip_from_a_fifo_returns(mod, tmp_path):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr("notes.txt", "skipped")
        z.writestr("run.10.10.0.dta", "500.0 2\n100.0 5.0\n")
    done = serve(tmp_path / "fifo", buf.getvalue())
    # An archive is read from its end, which a pipe does not have: the call fails, but it returns.
    with pytest.raises((zipfile.BadZipFile, OSError)):
        mod.read_ms_DtaZip(str(tmp_path / "fifo"))
    assert done() == []


def test_result_table_into_a_fifo(mod, tmp_path):
    lines = [line(32.0, "AAK", "GGK"), line(12.5, "PPK", "EEK")]
    probe = tmp_path / "probe"
    os.mkfifo(probe)
    reader = os.open(probe, os.O_RDONLY | os.O_NONBLOCK)
    try:
        mod.write_XL(lines, str(probe))
        if not stat.S_ISFIFO(os.stat(probe).st_mode):
            pytest.skip("the table replaces a FIFO instead of writing into it")
    finally:
        os.close(reader)

    path, started, got = tmp_path / "fifo", threading.Event(), []
    os.mkfifo(path)

    class Path:  # the call asks for the name first: the reader opens the FIFO only after that
        def __fspath__(self):
            started.set()
            return str(path)

    def read():
        started.wait()
        with open(path, "rb") as f:
            got.append(f.read())

    thread = threading.Thread(target=read, daemon=True)
    thread.start()
    mod.write_XL(lines, Path())
    thread.join()
    mod.write_XL(lines, str(tmp_path / "table.txt"))
    assert got == [(tmp_path / "table.txt").read_bytes()]
