"""Whole-run benchmark: the main job's chain on generated fractions of 500, 2,000 and 5,000 MS3
groups among noise scans (tools/make_fraction.py, seed 1, default peak counts; about 190 MB of
input at 5,000 groups), cached under /tmp.

Every function of the chain runs alone in a fresh interpreter, so that each has a peak resident
memory (RSS) of its own: the six readers on the fraction's files, the rescue spectrum generation,
the search, and the result steps on the search's output (saved once per fraction as JSON, not
timed). The whole chain is examples/xl_driver.py's run, also in a fresh interpreter. Each figure
is the best of --repeat runs. Input MB is the bytes of the files a call reads, or for the result
steps the text of the records or lines it is given; MB/s is that over the wall time.

    PYTHONPATH=build /usr/bin/python3 bench/whole_run.py [--sizes 500,2000,5000] [--repeat 3]

The table is printed in Markdown, ready for bench/README.md. A step that cannot run yet (the
search not built, so nothing for the result steps) is listed with the reason.
"""
import argparse
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "examples"))

from fraction_cache import fraction_folder  # noqa: E402

STEPS_FILE = "steps.json"  # the search's output and what the result steps make of it

# (row name, the files it reads or the saved input it takes)
READERS = [
    ("read_ms_Mgf ms2.mgf", "ms2"), ("read_ms_Mgf ms3.mgf", "ms3"), ("read_ms_Mgf ms3_msn1.mgf", "msn1"),
    ("read_ms_Mgf ms2_deconv.mgf", "deconv"), ("read_ms_DtaZip ms1.dta.zip", "ms1"),
    ("read_PD_PSM_results_tsv_wrapper psm_ms3.tsv", "psm_ms3"),
]
CALLS = ["Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf", "find_XL_from_mgf", "filter_pep_pair",
         "XL_recurrence_score", "filter_XL_FDR", "write_XL"]
CHAIN = "whole chain (xl_driver.py)"


def peak_rss_mb():
    # VmHWM, not getrusage's maximum: that one carries the parent's peak over fork and exec.
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0


def checked_fraction(folder):
    import xl_driver
    fraction = xl_driver.read_fraction_file(folder)
    xl_driver.check_fraction(fraction)
    return fraction


def file_bytes(fraction, call, kinds=("input",)):
    import xl_driver
    paths = {fraction.args[call][arg] for arg, kind in xl_driver.CALLS[call] if kind in kinds}
    return sum(os.path.getsize(p) for p in paths)


def text_bytes(items):
    return sum(len(s.encode()) for s in items)


# ---------------------------------------------------------------------------------------------
# In a child interpreter: one measured call

def child(name, folder):
    """Sets the call up, measures it, prints one JSON line."""
    import Vombrelle1pt0_Submission as V
    import make_fraction as gen
    import xl_driver
    fraction = checked_fraction(folder)
    steps_path = os.path.join(folder, STEPS_FILE)

    def saved(key):
        if not os.path.exists(steps_path):
            raise SystemExit("no input: the search's output could not be saved")
        with open(steps_path, encoding="utf-8") as f:
            return json.load(f)[key]

    if name == CHAIN:
        table = fraction.args[xl_driver.TABLE]["file_path"]
        cutoff = fraction.args[xl_driver.FDR_CUT]["FDR_cutoff"]
        paths = {fraction.args[c][a] for c, p in xl_driver.CALLS.items() for a, k in p if k == "input"}
        size = sum(os.path.getsize(p) for p in paths)
        run = xl_driver.Run(V, open(os.devnull, "w"))
        call = lambda: run([fraction], cutoff, table)  # noqa: E731
    elif name in dict(READERS):
        path = os.path.join(folder, gen.FILES[dict(READERS)[name]])
        size = os.path.getsize(path)
        if name.startswith("read_ms_Mgf"):
            call = lambda: V.read_ms_Mgf(path)  # noqa: E731
        elif name.startswith("read_ms_DtaZip"):
            call = lambda: V.read_ms_DtaZip(path)  # noqa: E731
        else:
            s = fraction.args[xl_driver.SEARCH]
            rest = [s[k] for k in ("uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
                                   "linker_Short_name_SEQUEST")]
            call = lambda: V.read_PD_PSM_results_tsv_wrapper(path, *rest)  # noqa: E731
    elif name in (xl_driver.RESCUE_MGF, xl_driver.SEARCH):
        args = fraction.positional(name)
        size = file_bytes(fraction, name)
        call = lambda: getattr(V, name)(*args)  # noqa: E731
    elif name == xl_driver.RECHECK:
        records = dict(saved("search"))
        args = fraction.positional(name)
        size = text_bytes(records)
        call = lambda: V.filter_pep_pair(records, *args)  # noqa: E731
    elif name == "XL_recurrence_score":
        tagged = dict(saved("recheck"))
        size = text_bytes(tagged)
        call = lambda: V.XL_recurrence_score(tagged)  # noqa: E731
    elif name == xl_driver.FDR_CUT:
        lines = saved("recurrence")
        cutoff = fraction.args[name]["FDR_cutoff"]
        size = text_bytes(lines)
        call = lambda: V.filter_XL_FDR(lines, cutoff)  # noqa: E731
    elif name == xl_driver.TABLE:
        lines = saved("cut")
        path = fraction.args[name]["file_path"]
        size = text_bytes(lines)
        call = lambda: V.write_XL(lines, path)  # noqa: E731
    else:
        raise SystemExit("unknown step %r" % name)
    before = peak_rss_mb()
    start = time.perf_counter()
    result = call()
    seconds = time.perf_counter() - start
    print(json.dumps({"seconds": seconds, "input_bytes": size, "peak_rss_mb": peak_rss_mb(),
                      "setup_rss_mb": before, "items": len(result) if hasattr(result, "__len__") else None}))


def save_steps(folder):
    """The search's output and each result step's, for the result steps' own runs."""
    import Vombrelle1pt0_Submission as V
    import xl_driver
    fraction = checked_fraction(folder)
    records = V.find_XL_from_mgf(*fraction.positional(xl_driver.SEARCH))
    tagged = V.filter_pep_pair(records, *fraction.positional(xl_driver.RECHECK))
    lines = V.XL_recurrence_score(tagged)
    cut = V.filter_XL_FDR(lines, fraction.args[xl_driver.FDR_CUT]["FDR_cutoff"])
    with open(os.path.join(folder, STEPS_FILE), "w", encoding="utf-8") as f:
        json.dump({"search": list(records.items()), "recheck": list(tagged.items()), "recurrence": lines,
                   "cut": cut}, f)


# ---------------------------------------------------------------------------------------------
# The parent: fractions, runs, table

def measure(name, folder, repeat):
    best = None
    for _ in range(repeat):
        done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", name, folder],
                              capture_output=True, text=True)
        if done.returncode != 0:
            lines = done.stderr.strip().splitlines() or ["exit status %d" % done.returncode]
            return {"error": lines[-1]}
        got = json.loads(done.stdout.strip().splitlines()[-1])
        if best is None or got["seconds"] < best["seconds"]:
            best = got
    return best


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--sizes", default="500,2000,5000", help="groups per fraction, comma-separated")
    p.add_argument("--repeat", type=int, default=3, help="runs per figure; the fastest counts")
    p.add_argument("--cache", default="/tmp/vombrelle_whole_run", help="where the fractions are kept")
    p.add_argument("--child", nargs=2, metavar=("STEP", "FOLDER"), help=argparse.SUPPRESS)
    a = p.parse_args()
    if a.child:
        return child(*a.child)

    sizes = [int(s) for s in a.sizes.split(",")]
    folders = {n: fraction_folder(a.cache, n) for n in sizes}
    for n, folder in folders.items():
        steps = os.path.join(folder, STEPS_FILE)
        if os.path.exists(steps):
            os.remove(steps)  # made anew: the module may have changed since
        try:
            save_steps(folder)
        except NotImplementedError as e:
            print("no input for the result steps of %d groups: %s" % (n, e), file=sys.stderr)
    rows = [name for name, _ in READERS] + CALLS + [CHAIN]
    print("| function | groups | input MB | wall s | MB/s | peak RSS MB | µs per group |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for name in rows:
        for n in sizes:
            m = measure(name, folders[n], a.repeat)
            if "error" in m:
                print("| %s | %d | | | | | %s |" % (name, n, m["error"].replace("|", "/")), flush=True)
                continue
            mb = m["input_bytes"] / 1e6
            print("| %s | %d | %.1f | %.4f | %.0f | %.0f | %.1f |" % (
                name, n, mb, m["seconds"], mb / m["seconds"] if m["seconds"] else 0, m["peak_rss_mb"],
                m["seconds"] * 1e6 / n), flush=True)


if __name__ == "__main__":
    sys.exit(main())
