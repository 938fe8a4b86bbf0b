"""Calls beside another Python thread: a call whose work is a few scans' worth keeps the
interpreter lock (taking it back once given up waits for the other thread's switch interval), and
calls by name read the namespace when the call starts and again after every call into Python code."""
import itertools
import sys
import threading
import time
from collections import defaultdict

import pytest

from helpers.rescue_fraction import make_fraction, run, write_fraction
from helpers.rescue_tables import A_MASS, B_MASS, LINKER_MASS, MS2_MASS, export


def gives_the_lock_up(call):
    """Whether another thread ran Python code while `call` ran. With a switch interval longer than
    any test, the other thread only gets the lock when the call gives it up; it hands the lock
    back at once (sleep(0)), so the call is never held up."""
    state = {"in_call": False, "ran": False, "done": False}

    def other():
        while not state["done"]:
            if state["in_call"]:
                state["ran"] = True
            time.sleep(0)
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    thread = threading.Thread(target=other)
    try:
        thread.start()
        state["in_call"] = True
        call()
        state["in_call"] = False
    finally:
        state["in_call"] = False
        state["done"] = True
        thread.join()
        sys.setswitchinterval(interval)
    return state["ran"]


def precursor_rescue(mod):
    # A group 1 Da off at charge 3, its monoisotopic peak in MS1 scan 90.
    ms1 = {90: defaultdict(str, ion_mass={801.0: 1.0, 800.0: 10.0, 799.6666: 5.0})}
    return mod.RescuePrecMass(51, 52, 53, 54, [1.0], [2.0], [2.0], [1.0], ms1, 101, 800.0, 1.0, 3, {51: {}, 53: {}},
                              -1.992175)


def rescue_tables(mod):
    return export(mod, (51, "AkDEFR", A_MASS), (53, "GGkR", B_MASS)) + export(mod, (53, "GGkR", B_MASS))


@pytest.mark.parametrize("call", [
    precursor_rescue,
    lambda mod: mod.Vombrelle_FindXLs_MS2Rescue(51, 52, 53, 54, 50, MS2_MASS, 3, *rescue_tables(mod), LINKER_MASS),
    lambda mod: mod.Rescue_PrecMismatch_XLs(4, [1.0], [2.0], [], None, 51, 52, 53, 54, 50, MS2_MASS, 3,
                                            *rescue_tables(mod), LINKER_MASS, 0),
], ids=["RescuePrecMass", "Vombrelle_FindXLs_MS2Rescue", "Rescue_PrecMismatch_XLs"])
def test_a_few_scans_worth_of_work_keeps_the_lock(mod, call):
    result = []
    assert not gives_the_lock_up(lambda: result.extend(call(mod) for _ in range(100)))
    assert result[0]  # the call did its work: a rescued precursor, a record, a map


def test_the_probe_sees_a_call_that_gives_the_lock_up():
    # Each sleep gives the lock up; on a loaded machine the other thread may need several chances.
    assert gives_the_lock_up(lambda: [time.sleep(0.001) for _ in range(200)])


def test_combinations_is_read_again_after_each_call_into_python_code(mod, tmp_path):
    paths = write_fraction(tmp_path, make_fraction(3, 60))
    expected = run(mod, paths, tmp_path / "standard.mgf")
    calls = []

    def first(seq, r):  # rebinds the name to a second function, which puts the standard one back
        calls.append("first")
        mod.combinations = second
        return itertools.combinations(seq, r)

    def second(seq, r):
        calls.append("second")
        mod.combinations = itertools.combinations
        return itertools.combinations(seq, r)
    mod.combinations = first
    assert run(mod, paths, tmp_path / "rebound.mgf") == expected
    assert calls == ["first", "second"]
