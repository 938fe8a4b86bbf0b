"""Whole-run benchmark of Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf on a synthetic
fraction (fixed seed). Run by hand:

    PYTHONPATH=build /usr/bin/python3 bench/rescue_mgf_bench.py [groups] [peaks_per_scan]

Reports the input size, the wall time of the best of three runs, the output size and the peak
resident memory of a fresh interpreter that only imports the module and makes one call (the
four tables are held in memory for the whole run)."""
import os
import pathlib
import subprocess
import sys
import tempfile
import time

# The synthetic fraction is the module tests' own, from their shared helpers.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))

import Vombrelle1pt0_Submission as V  # noqa: E402
from helpers.rescue_fraction import make_fraction, write_fraction  # noqa: E402


# The high-water mark of this process's own memory (ru_maxrss would carry the parent's over).
MEASURE = """
import sys
import Vombrelle1pt0_Submission as V
def hwm():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return line.split()[1]
before = hwm()
V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(*sys.argv[1:6], 31.97207, 18.01056)
print(before, hwm())
"""


def main():
    groups = int(sys.argv[1]) if len(sys.argv) > 1 else 5000
    peaks = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    with tempfile.TemporaryDirectory() as d:
        folder = pathlib.Path(d)
        paths = write_fraction(folder, make_fraction(2024, groups, peaks_per_scan=peaks))
        size = sum(os.path.getsize(p) for p in paths)
        out = folder / "rescue.mgf"
        times = []
        for _ in range(3):
            t0 = time.perf_counter()
            V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(*paths, str(out), 31.97207, 18.01056)
            times.append(time.perf_counter() - t0)
        child = subprocess.run(
            [sys.executable, "-c", MEASURE, *paths, str(folder / "child.mgf")],
            check=True, capture_output=True, text=True, env=dict(os.environ))
        rss_import, rss_peak = map(float, child.stdout.split())
        blocks = out.read_bytes().count(b"BEGIN IONS")
        best = min(times)
        print("groups %d, peaks per MS2 scan %d, input %.1f MB" % (groups, peaks, size / 1e6))
        print("best of 3: %.3f s (%.1f MB/s of input); runs %s" % (best, size / 1e6 / best,
                                                                  ", ".join("%.3f" % t for t in times)))
        print("output %d blocks, %.1f MB" % (blocks, out.stat().st_size / 1e6))
        print("peak RSS of one call %.1f MB (%.1f MB after import, so %.1f MB for the run)"
              % (rss_peak / 1024, rss_import / 1024, (rss_peak - rss_import) / 1024))
        assert blocks > 0


if __name__ == "__main__":
    main()
