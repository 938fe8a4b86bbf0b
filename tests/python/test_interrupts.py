"""Ctrl-C during a call. A call blocked on an input that never comes (a FIFO nobody writes, or one
whose writer stays silent), and a call that runs on and on, end with KeyboardInterrupt when SIGINT
arrives, as the interpreter's own reads do; a handler that does not raise lets the call go on.

Each call runs in a child interpreter; the test waits until the child is blocked on the FIFO (as
/proc shows its threads' waits) or is running, then sends SIGINT. A child that ignores the signal
is ended after GUARD seconds, failing its test."""
import json
import os
import pathlib
import queue
import signal
import subprocess
import sys
import threading
import time

import pytest

from helpers.psm import LINKER, header, row

PYTHON = "/usr/bin/python3"
GUARD = 60.0

CHILD = r"""
import json, signal, sys
import Vombrelle1pt0_Submission as V
task = json.loads(sys.argv[1])
if task["record"]:
    signal.signal(signal.SIGINT, lambda *_: print("handled", flush=True))
print("calling", flush=True)
result = getattr(V, task["function"])(*task["args"])
print("returned", None if result is None else len(result), flush=True)
"""

MGF_BLOCK = "BEGIN IONS\nTITLE=t\nPEPMASS=500.25 10.0\nCHARGE=2+\nSCANS=%d\n" + "100.5 7.0\n" * 40 + "END IONS\n"


class Child:
    def __init__(self, mod, function, args, record=False):
        env = dict(os.environ, PYTHONPATH=os.path.dirname(mod.__file__))
        task = json.dumps({"function": function, "args": args, "record": record})
        self.process = subprocess.Popen([PYTHON, "-c", CHILD, task], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, env=env)
        self.lines, self.errors = queue.Queue(), []
        self.readers = [threading.Thread(target=lambda: [self.lines.put(x.strip()) for x in self.process.stdout]),
                        threading.Thread(target=lambda: self.errors.extend(self.process.stderr))]
        for reader in self.readers:
            reader.daemon = True
            reader.start()
        assert self.line() == "calling"

    def line(self):
        try:
            return self.lines.get(timeout=GUARD)
        except queue.Empty:
            pytest.fail("the child printed nothing more")

    def wait_until(self, condition, what):
        deadline = time.monotonic() + GUARD
        while not condition():
            if self.process.poll() is not None or time.monotonic() > deadline:
                pytest.fail("the child never %s" % what)
            time.sleep(0.01)

    def wait_blocked_on_fifo(self):
        started = time.monotonic()
        self.wait_until(lambda: self.blocked_on_fifo(started), "blocked on the FIFO")

    def blocked_on_fifo(self, started):
        waits = []
        for task in pathlib.Path("/proc/%d/task" % self.process.pid).iterdir():
            try:
                waits.append((task / "wchan").read_text())
            except OSError:
                continue
        # Opening a FIFO (wait_for_partner, fifo_open), reading or writing one.
        if any(name in wait for wait in waits for name in ("wait_for_partner", "fifo", "pipe")):
            return True
        # A kernel that does not show where threads wait: give the call a moment to get there.
        return all(wait in ("", "0") for wait in waits) and time.monotonic() - started > 1.0

    def interrupt(self):
        self.process.send_signal(signal.SIGINT)

    def end(self):
        """(stdout lines left, stderr) once the child has exited."""
        try:
            self.process.wait(timeout=GUARD)
        except subprocess.TimeoutExpired:
            pytest.fail("the child did not exit")
        for reader in self.readers:  # they reach the end of what the child wrote
            reader.join(GUARD)
        rest = []
        while not self.lines.empty():
            rest.append(self.lines.get())
        return rest, "".join(self.errors)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


@pytest.fixture
def children(mod):
    """start(function, args, record=False): a child making the call; any left running is killed."""
    started = []

    def start(function, args, record=False):
        started.append(Child(mod, function, args, record))
        return started[-1]
    yield start
    for child in started:
        child.kill()


def assert_interrupted(child):
    out, err = child.end()
    assert "KeyboardInterrupt" in err.splitlines()[-1] and not any(x.startswith("returned") for x in out)


def write_when_read(fifo, child, data):
    """Writes `data` to the FIFO once the child has it open for reading."""
    deadline = time.monotonic() + GUARD
    while True:
        try:
            fd = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError:  # no reader yet
            if child.process.poll() is not None or time.monotonic() > deadline:
                pytest.fail("the child never opened the FIFO")
            time.sleep(0.01)
    try:
        os.set_blocking(fd, True)
        os.write(fd, data.encode())
    finally:
        os.close(fd)


@pytest.fixture
def fifo(tmp_path):
    path = tmp_path / "fifo"
    os.mkfifo(path)
    return str(path)


@pytest.fixture(scope="module")
def fraction(tmp_path_factory):
    import make_fraction
    folder = tmp_path_factory.mktemp("fraction")
    make_fraction.make_fraction(folder, seed=1, groups=12, ms1_peaks=40, ms2_peaks=30, deconv_peaks=10, ms3_peaks=8)
    return make_fraction.driver_arguments(folder)


def positional(fraction, function, **replaced):
    """The function's arguments in order (the driver's file keeps it), some replaced."""
    return list({**fraction[function], **replaced}.values())


SEARCH = "find_XL_from_mgf"
RESCUE_MGF = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"

# (function, its arguments with the FIFO as the input (or output) named)
CALLS = {
    "read_ms_Mgf": lambda fifo, fraction: [fifo],
    "read_ms_DtaZip": lambda fifo, fraction: [fifo],
    "read_PD_PSM_results_tsv_wrapper": lambda fifo, fraction: [fifo, {}, *LINKER],
    SEARCH: lambda fifo, fraction: positional(fraction, SEARCH, MS3_file_path=fifo),
    RESCUE_MGF: lambda fifo, fraction: positional(fraction, RESCUE_MGF, MS3_file_path=fifo),
    "write_XL": lambda fifo, fraction: [["1\t1\tx"], fifo],
}


# Nobody opens the FIFO for writing (the call waits to open it: for write_XL, to be read), or a
# writer holds it open and never writes (the call waits in a read).
@pytest.mark.parametrize("function, writer", [(f, "none") for f in CALLS] + [
    (f, "silent") for f in ("read_ms_Mgf", "read_PD_PSM_results_tsv_wrapper", SEARCH)])
def test_a_call_blocked_on_a_fifo_is_interrupted(children, fifo, fraction, function, writer):
    silent = os.open(fifo, os.O_RDWR) if writer == "silent" else None
    try:
        child = children(function, CALLS[function](fifo, fraction))
        child.wait_blocked_on_fifo()
        child.interrupt()
        assert_interrupted(child)
    finally:
        if silent is not None:
            os.close(silent)


@pytest.mark.parametrize("function", ["read_ms_Mgf", SEARCH, RESCUE_MGF])
def test_a_call_reading_an_endless_stream_is_interrupted(children, fifo, fraction, function):
    written = [0]

    def feed():
        try:
            with open(fifo, "w") as f:
                for scan in range(1, 10 ** 9):
                    written[0] += f.write(MGF_BLOCK % scan)
        except (BrokenPipeError, ValueError):
            pass
    child = children(function, CALLS[function](fifo, fraction) if function == "read_ms_Mgf" else
                     positional(fraction, function, MS2_file_path=fifo))
    threading.Thread(target=feed, daemon=True).start()
    # Megabytes beyond what the pipe holds: the call is well under way.
    child.wait_until(lambda: written[0] > (8 << 20), "read the stream")
    child.interrupt()
    assert_interrupted(child)


@pytest.mark.parametrize("function", ["read_ms_Mgf", "read_PD_PSM_results_tsv_wrapper"])
def test_a_handler_that_does_not_raise_lets_the_read_go_on(children, fifo, fraction, function):
    child = children(function, CALLS[function](fifo, fraction), record=True)
    child.wait_blocked_on_fifo()
    child.interrupt()
    assert child.line() == "handled"
    write_when_read(fifo, child, MGF_BLOCK % 5 if function == "read_ms_Mgf" else header() + row())
    out, err = child.end()
    assert child.process.returncode == 0, err
    assert out == ["returned %d" % (1 if function == "read_ms_Mgf" else 3)]
