"""Search benchmark: find_XL_from_mgf called from Python on generated fractions of 500, 2,000 and 5,000
four-scan groups and of 5,000 groups a third of each size (four, three and two scans), with
MS2_Rescue "NO" and "YES" (tools/make_fraction.py, seed 1, default peak counts, about one noise
event per group), cached under /tmp.

Each figure comes from a fresh interpreter that makes one call, so that its peak resident memory
(VmHWM, the interpreter and the module included) is the call's own; wall times are the best of
--repeat runs. Input MB is the bytes of the six files the search reads; MB/s is that over the wall
time. Each run checks its map once: as many records as the fraction's manifest expects.

    PYTHONPATH=build /usr/bin/python3 bench/search_bench.py [--repeat 3] [--cache DIR]

--profile FRACTION MODE runs one call under callgrind (valgrind must be installed) and prints the
functions with the most instructions, inclusive and exclusive.
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

SEED = 1
FOUR_SIZES = (500, 2000, 5000)
MIXED_SIZE = 5000
INPUTS = ("MS1_file_path", "MS2_file_path", "MS3_file_path", "msn_1_MS3_path", "PD_result_path",
          "MS2_PD_result_path")


def peak_rss_mb():
    # VmHWM, not getrusage's maximum: that one carries the parent's peak over fork and exec.
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0


def thirds(total):
    """kind -> count: a third of the groups of each size, shared among that size's kinds by weight."""
    from fraction.kinds import KINDS
    counts = {}
    for i, size in enumerate((4, 3, 2)):
        share = total // 3 + (1 if i < total % 3 else 0)
        kinds = [k for k, v in KINDS.items() if v[0] == size]
        weight = sum(KINDS[k][2] for k in kinds)
        exact = {k: share * KINDS[k][2] / weight for k in kinds}
        got = {k: int(x) for k, x in exact.items()}
        for k in sorted(kinds, key=lambda k: got[k] - exact[k])[:share - sum(got.values())]:
            got[k] += 1
        counts.update(got)
    return counts


def fractions(cache):
    """name -> (folder, groups) of every fraction measured, generated when missing."""
    import make_fraction as gen
    plan = [("four %d" % n, "four_%d_s%d" % (n, SEED), n, dict(groups=n, mix="four")) for n in FOUR_SIZES]
    plan.append(("mixed %d" % MIXED_SIZE, "thirds_%d_s%d" % (MIXED_SIZE, SEED), MIXED_SIZE,
                 dict(groups=thirds(MIXED_SIZE))))
    out = {}
    for name, folder_name, groups, params in plan:
        folder = os.path.join(cache, folder_name)
        if not os.path.exists(os.path.join(folder, gen.FILES["manifest"])):
            print("generating %s into %s" % (name, folder), file=sys.stderr, flush=True)
            gen.make_fraction(folder, seed=SEED, **params)
        out[name] = (folder, groups)
    return out


def expected_records(manifest, rescue):
    return sum(bool(g["expect"]["record"]) + (len(g["expect"]["rescue_records"]) if rescue else 0)
               for g in manifest["groups"])


def call_arguments(folder, mode):
    import make_fraction as gen
    args = gen.driver_arguments(folder)["find_XL_from_mgf"]
    args["MS2_Rescue"] = mode
    return args


# ---------------------------------------------------------------------------------------------
# In a child interpreter: one measured call

def child(folder, mode):
    import Vombrelle1pt0_Submission as V
    args = call_arguments(folder, mode)
    size = sum(os.path.getsize(args[k]) for k in INPUTS)
    start = time.perf_counter()
    result = V.find_XL_from_mgf(**args)
    seconds = time.perf_counter() - start
    rss = peak_rss_mb()
    with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as f:
        expected = expected_records(json.load(f), mode == "YES")
    print(json.dumps({"seconds": seconds, "input_bytes": size, "peak_rss_mb": rss,
                      "records": len(result), "expected": expected}))


def measure(folder, mode, repeat):
    best = None
    for _ in range(repeat):
        done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", folder, mode],
                              capture_output=True, text=True)
        if done.returncode != 0:
            lines = done.stderr.strip().splitlines() or ["exit status %d" % done.returncode]
            return {"error": lines[-1]}
        got = json.loads(done.stdout.strip().splitlines()[-1])
        if best is None or got["seconds"] < best["seconds"]:
            best = got
    return best


# The entry points whose inclusive cost splits the call: the six reads and the search itself.
PROFILED = ("vombrelle::read_dta_zip(", "vombrelle::read_psm_file(", "vombrelle::read_mgf(",
            "vombrelle::find_cross_links", "score_map_to_python(")


def profile(folder, mode, top=15):
    out = os.path.join("/tmp", "search_bench.callgrind.%d" % os.getpid())
    try:
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, sys.executable,
                        os.path.abspath(__file__), "--child", folder, mode], check=True, stderr=subprocess.DEVNULL)

        def annotate(inclusive):
            report = subprocess.run(["callgrind_annotate", "--inclusive=" + inclusive, "--threshold=100", out],
                                    capture_output=True, text=True, check=True).stdout.splitlines()
            return [line for line in report if "(" in line and "%)" in line]
        total = next(line for line in annotate("no") if "PROGRAM TOTALS" in line)
        print("instructions:", total.split()[0])
        print("inclusive, by entry point:")
        for line in annotate("yes"):
            if any(name in line for name in PROFILED):
                print("  " + line[:160])
        print("exclusive, the top %d:" % top)
        for line in [line for line in annotate("no") if "PROGRAM TOTALS" not in line][:top]:
            print("  " + line[:160])
    finally:
        if os.path.exists(out):
            os.remove(out)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--repeat", type=int, default=3, help="runs per figure; the fastest counts")
    p.add_argument("--cache", default="/tmp/vombrelle_search_bench", help="where the fractions are kept")
    p.add_argument("--profile", nargs=2, metavar=("FRACTION", "MODE"),
                   help='profile one call, e.g. --profile "four 5000" YES')
    p.add_argument("--child", nargs=2, metavar=("FOLDER", "MODE"), help=argparse.SUPPRESS)
    a = p.parse_args()
    if a.child:
        return child(*a.child)
    made = fractions(a.cache)
    if a.profile:
        return profile(made[a.profile[0]][0], a.profile[1])

    print("| fraction | MS2_Rescue | input MB | wall s | MB/s | peak RSS MB | µs per group | records |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    for name, (folder, groups) in made.items():
        for mode in ("NO", "YES"):
            m = measure(folder, mode, a.repeat)
            if "error" in m:
                print("| %s | %s | | | | | | %s |" % (name, mode, m["error"].replace("|", "/")), flush=True)
                continue
            mb = m["input_bytes"] / 1e6
            records = "%d" % m["records"] if m["records"] == m["expected"] else "%d, expected %d" % (
                m["records"], m["expected"])
            print("| %s | %s | %.1f | %.3f | %.0f | %.0f | %.1f | %s |" % (
                name, mode, mb, m["seconds"], mb / m["seconds"], m["peak_rss_mb"], m["seconds"] * 1e6 / groups,
                records), flush=True)


if __name__ == "__main__":
    sys.exit(main())
