"""Beside a busy interpreter: each of the driver's entry points and the readers, alone and beside
one CPU-bound Python thread, on generated fractions of 2,000 and 20,000 groups
(tools/make_fraction.py, seed 1, every kind of group, default peak counts), cached under /tmp.

A call that gives up the interpreter lock must take it back before it returns. While another
thread runs Python code, taking it back waits for that thread's switch interval (5 ms by
default), so a call that gives the lock up and takes it back once per group or record slows down
by that much each time; one that does so a bounded number of times loses a bounded few
milliseconds. The busy thread counts in a loop of plain bytecode, as a progress thread, a GUI or a
web server would keep the interpreter busy.

Each size runs in a fresh interpreter; each call runs --repeat times alone and --repeat times
beside the busy thread, alternating, so that a change in the machine's load touches both columns
alike. A figure is the fastest run: what the call itself costs, without the busy thread taking the
lock from the measuring loop between two calls. The result steps take the search's output of the
same fraction, made once beforehand and not timed. Each call's result is checked once (its size).

    PYTHONPATH=build /usr/bin/python3 bench/busy_interpreter.py [--sizes 2000,20000] [--repeat 5]

The table is printed in Markdown, ready for bench/README.md.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "examples"))

from fraction_cache import fraction_folder  # noqa: E402


class BusyThread:
    """A thread running Python bytecode without pause until stopped."""

    def __init__(self):
        self.running = True
        self.count = 0
        self.started = threading.Event()
        self.thread = threading.Thread(target=self.spin, daemon=True)

    def spin(self):
        self.started.set()
        n = 0
        while self.running:
            n += 1
        self.count = n

    def __enter__(self):
        self.thread.start()
        self.started.wait()
        time.sleep(0.02)  # well into its loop, and holding the lock in turns
        return self

    def __exit__(self, *exc):
        self.running = False
        self.thread.join()


def calls(folder, out_dir):
    """(name, call) in the driver's order: the readers, then the entry points."""
    import Vombrelle1pt0_Submission as V
    import make_fraction as gen
    import xl_driver
    fraction = xl_driver.read_fraction_file(folder)
    xl_driver.check_fraction(fraction)
    s = fraction.args[xl_driver.SEARCH]
    psm_rest = [s[k] for k in ("uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
                               "linker_Short_name_SEQUEST")]
    f = lambda kind: os.path.join(folder, gen.FILES[kind])  # noqa: E731
    rescue = fraction.positional(xl_driver.RESCUE_MGF)
    rescue[4] = os.path.join(out_dir, "rescue.mgf")
    search = fraction.positional(xl_driver.SEARCH)
    recheck = fraction.positional(xl_driver.RECHECK)
    cutoff = fraction.args[xl_driver.FDR_CUT]["FDR_cutoff"]
    table = os.path.join(out_dir, "result.tsv")

    # The result steps' inputs, each step's output made once.
    records = V.find_XL_from_mgf(*search)
    tagged = V.filter_pep_pair(records, *recheck)
    lines = V.XL_recurrence_score(tagged)
    cut = V.filter_XL_FDR(lines, cutoff)
    return [
        ("read_ms_Mgf ms2.mgf", lambda: V.read_ms_Mgf(f("ms2"))),
        ("read_ms_Mgf ms3.mgf", lambda: V.read_ms_Mgf(f("ms3"))),
        ("read_ms_DtaZip ms1.dta.zip", lambda: V.read_ms_DtaZip(f("ms1"))),
        ("read_PD_PSM_results_tsv_wrapper psm_ms3.tsv",
         lambda: V.read_PD_PSM_results_tsv_wrapper(f("psm_ms3"), *psm_rest)),
        (xl_driver.RESCUE_MGF, lambda: V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(*rescue)),
        (xl_driver.SEARCH, lambda: V.find_XL_from_mgf(*search)),
        (xl_driver.RECHECK, lambda: V.filter_pep_pair(records, *recheck)),
        ("XL_recurrence_score", lambda: V.XL_recurrence_score(tagged)),
        (xl_driver.FDR_CUT, lambda: V.filter_XL_FDR(lines, cutoff)),
        (xl_driver.TABLE, lambda: V.write_XL(cut, table)),
    ]


def size_of(result):
    return len(result) if hasattr(result, "__len__") else None


def timed(call):
    start = time.perf_counter()
    result = call()
    return time.perf_counter() - start, size_of(result)


def child(folder, repeat):
    """Measures every call on one fraction; prints one JSON line per call."""
    with tempfile.TemporaryDirectory(prefix="vombrelle_busy_") as out_dir:
        for name, call in calls(folder, out_dir):
            alone, beside, sizes = [], [], set()
            for _ in range(repeat):
                seconds, size = timed(call)
                alone.append(seconds)
                sizes.add(size)
                with BusyThread():
                    seconds, size = timed(call)
                beside.append(seconds)
                sizes.add(size)
            if len(sizes) != 1:
                raise SystemExit("%s: results of different sizes %s" % (name, sorted(map(str, sizes))))
            print(json.dumps({"name": name, "alone": min(alone), "beside": min(beside), "items": sizes.pop()}),
                  flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--sizes", default="2000,20000", help="groups per fraction, comma-separated")
    p.add_argument("--repeat", type=int, default=5, help="runs per figure and column; the fastest counts")
    p.add_argument("--cache", default="/tmp/vombrelle_busy", help="where the fractions are kept")
    p.add_argument("--child", metavar="FOLDER", help=argparse.SUPPRESS)
    a = p.parse_args()
    if a.child:
        return child(a.child, a.repeat)

    print("| call | groups | alone s | beside a busy thread s | ratio |")
    print("|---|---:|---:|---:|---:|")
    worst = 0.0
    for groups in (int(s) for s in a.sizes.split(",")):
        folder = fraction_folder(a.cache, groups)
        done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", folder, "--repeat",
                               str(a.repeat)], capture_output=True, text=True)
        if done.returncode != 0:
            raise SystemExit(done.stderr.strip() or "exit status %d" % done.returncode)
        for line in done.stdout.splitlines():
            row = json.loads(line)
            ratio = row["beside"] / row["alone"]
            worst = max(worst, ratio)
            print("| %s | %d | %.4f | %.4f | %.2f |" % (row["name"], groups, row["alone"], row["beside"], ratio),
                  flush=True)
    print("\nworst ratio: %.2f" % worst)


if __name__ == "__main__":
    main()
