"""Whole-call figures for the readers from the interpreter, on generated fractions of 500, 2,000 and
5,000 groups (tools/make_fraction.py, seed 1, default peak counts; the fractions bench/whole_run.py
keeps in /tmp/vombrelle_whole_run, generated there when missing).

Measured, each call alone in a fresh interpreter: read_ms_Mgf on the MS3 file, read_ms_DtaZip on
the MS1 archive, read_PD_PSM_results_tsv_wrapper on the MS3 search's PSM table, and the rescue
spectrum generation (its four MGF reads and the rescue MGF). Beside them, the same MGF file, archive
and PSM table read by a straight Python reading of the algorithm (the module tests' reference
readers), as the yardstick of memory: a reader of the module should need no more than that.

For each call: the wall time, the extra peak memory (VmHWM above the resident memory before the
call, the arguments already loaded) and the memory the result holds (VmRSS after the call, result
alive, less before). Peak and held memory close together mean that nothing but the returned
objects was resident at the peak. Times are the best of --repeat runs; the memory figures are
those of the same run.

    PYTHONPATH=build /usr/bin/python3 bench/readers_bench.py [--sizes 500,2000,5000] [--repeat 5]

The core's own MB/s, without the interpreter, is build/readers_bench's.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "examples"))
sys.path.insert(0, os.path.join(ROOT, "tests", "python"))

from fraction_cache import fraction_folder  # noqa: E402

RESCUE = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"
# (row name, the fraction file it reads)
CALLS = [
    ("read_ms_Mgf", "ms3"), ("plain Python MGF reading", "ms3"), ("read_ms_DtaZip", "ms1"),
    ("plain Python DTA-zip reading", "ms1"),
    ("read_PD_PSM_results_tsv_wrapper", "psm_ms3"), ("plain Python PSM reading", "psm_ms3"),
    (RESCUE, None),
]


def status_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])


def child(name, folder):
    """One measured call; prints one JSON line."""
    import Vombrelle1pt0_Submission as V
    import make_fraction as gen
    import xl_driver
    fraction = xl_driver.read_fraction_file(folder)
    xl_driver.check_fraction(fraction)
    path = os.path.join(folder, gen.FILES[dict(CALLS)[name]]) if dict(CALLS)[name] else None
    search = fraction.args[xl_driver.SEARCH]
    psm_rest = [search[k] for k in ("uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
                                    "linker_Short_name_SEQUEST")]
    if name == "read_ms_Mgf":
        call = lambda: V.read_ms_Mgf(path)  # noqa: E731
    elif name == "plain Python MGF reading":
        from test_read_ms_mgf import reference_read_mgf
        call = lambda: reference_read_mgf(path)  # noqa: E731
    elif name == "read_ms_DtaZip":
        sys.stdout = open(os.devnull, "w")  # its skipped names, if any
        call = lambda: V.read_ms_DtaZip(path)  # noqa: E731
    elif name == "plain Python DTA-zip reading":
        from test_read_ms_dtazip import reference_read_dta_zip
        sys.stdout = open(os.devnull, "w")
        call = lambda: reference_read_dta_zip(path)  # noqa: E731
    elif name == "read_PD_PSM_results_tsv_wrapper":
        call = lambda: V.read_PD_PSM_results_tsv_wrapper(path, *psm_rest)  # noqa: E731
    elif name == "plain Python PSM reading":
        from helpers import psm as reference
        call = lambda: reference.read_lines(reference.file_lines(path), *psm_rest)  # noqa: E731
    else:
        args = fraction.positional(RESCUE)
        out = tempfile.NamedTemporaryFile(suffix=".mgf", delete=False)
        out.close()
        args[4] = out.name
        path = None
        call = lambda: V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(*args)  # noqa: E731
    before = status_kb("VmRSS")
    start = time.perf_counter()
    result = call()
    seconds = time.perf_counter() - start
    held = status_kb("VmRSS") - before
    peak = status_kb("VmHWM") - before
    if name == RESCUE:
        size = sum(os.path.getsize(fraction.args[RESCUE][k]) for k in (
            "MS2_DeisoDeconv_file_path", "MS2_file_path", "MS3_file_path", "msn_1_MS3_path"))
        os.remove(args[4])
    else:
        size = os.path.getsize(path)
    sys.__stdout__.write(json.dumps({"seconds": seconds, "bytes": size, "peak_mb": peak / 1024.0,
                                     "held_mb": held / 1024.0}) + "\n")
    del result


def measure(name, folder, repeat):
    best = None
    for _ in range(repeat):
        done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", name, folder],
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise SystemExit("%s on %s failed:\n%s" % (name, folder, done.stderr))
        got = json.loads(done.stdout.strip().splitlines()[-1])
        if best is None or got["seconds"] < best["seconds"]:
            best = got
    return best


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--sizes", default="500,2000,5000", help="groups per fraction, comma-separated")
    p.add_argument("--repeat", type=int, default=5, help="runs per figure; the fastest counts")
    p.add_argument("--calls", default=None, help="only these rows (comma-separated names)")
    p.add_argument("--cache", default="/tmp/vombrelle_whole_run", help="where the fractions are kept")
    p.add_argument("--child", nargs=2, metavar=("CALL", "FOLDER"), help=argparse.SUPPRESS)
    a = p.parse_args()
    if a.child:
        return child(*a.child)
    sizes = [int(s) for s in a.sizes.split(",")]
    names = a.calls.split(",") if a.calls else [name for name, _ in CALLS]
    folders = {n: fraction_folder(a.cache, n) for n in sizes}
    print("| call | groups | input MB | wall s | MB/s | extra peak MB | held MB |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for name in names:
        for n in sizes:
            m = measure(name, folders[n], a.repeat)
            mb = m["bytes"] / 1e6
            print("| %s | %d | %.1f | %.3f | %.0f | %.0f | %.0f |" % (
                name, n, mb, m["seconds"], mb / m["seconds"], m["peak_mb"], m["held_mb"]), flush=True)


if __name__ == "__main__":
    sys.exit(main())
