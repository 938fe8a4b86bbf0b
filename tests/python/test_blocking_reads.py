"""Blocking opens and reads release the interpreter lock: a FIFO written by another thread of the
caller is read to the end."""
import contextlib
import faulthandler
import os
import threading

import pytest

from helpers.outcome import outcome
from helpers.psm import LINKER, header, row
from helpers.readers import READ_MGF, READ_ZIP, MGF, make_dta_zip


@pytest.fixture(autouse=True)
def watchdog():
    # A call that kept the lock would hang for good: end the run with every thread's stack instead.
    faulthandler.dump_traceback_later(300, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


def feed(fifo, data):
    with contextlib.suppress(BrokenPipeError):  # a reader may give up on the stream early
        fifo.write_bytes(data)


# The peptide's only marked lysine ends it: the PSM read asks the protein map midway.
@pytest.mark.parametrize("read, make", [
    (lambda mod, p: mod.read_PD_PSM_results_tsv_wrapper(p, {"P1": "MMLVTDLTK"}, *LINKER),
     lambda p: p.write_text(header() + row(seq="LVTDLTk") + row(scan="11"))),
    (READ_MGF, lambda p: p.write_text(MGF * 300)), (READ_ZIP, make_dta_zip)])
def test_reads_from_a_fifo(mod, tmp_path, read, make):
    file, fifo = tmp_path / "file", tmp_path / "fifo"
    make(file)
    expected = outcome(lambda: read(mod, str(file)))
    os.mkfifo(fifo)
    threading.Thread(target=feed, args=(fifo, file.read_bytes()), daemon=True).start()
    got = outcome(lambda: read(mod, str(fifo)))
    # An archive is read from its end, which a pipe does not have: the call fails, but it returns.
    assert expected[0] == "ok" and (got == expected if read is not READ_ZIP else got[0] == "error")
