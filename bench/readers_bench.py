"""Whole-call figures for read_ms_Mgf and read_ms_DtaZip from the interpreter.

Run by hand after building (PYTHONPATH=build /usr/bin/python3 bench/readers_bench.py). Uses the
synthetic inputs that bench/readers_bench.cpp writes into /tmp (100,000 spectra, ~300 MB; 10,000
DTA members); they are written here too, with the same shapes, when missing. Reports the time,
the throughput, the process's peak RSS and, in a second run, the peak of the Python heap.
"""
import os
import random
import resource
import sys
import time
import tracemalloc
import zipfile

import Vombrelle1pt0_Submission as V

MGF = "/tmp/vombrelle_bench_100k.mgf"
DTA = "/tmp/vombrelle_bench_10k.dta.zip"


def write_mgf(path, spectra=100000):
    rng = random.Random(42)
    with open(path, "w") as f:
        f.write("MASS=Monoisotopic\n")
        for s in range(1, spectra + 1):
            f.write('BEGIN IONS\nTITLE=run.%d.%d.2 File:"run.raw", NativeID:"controllerType=0 controllerNumber=1 '
                    'scan=%d"\nPEPMASS=%.5f %.5f\nCHARGE=%d+\nRTINSECONDS=%d\nSCANS=%d\n'
                    % (s, s, s, 400 + rng.uniform(0.5, 12) * 50, rng.uniform(100, 1e6), 2 + s % 4, s // 10, s))
            mz = 100.0
            lines = []
            for k in range(150):
                mz += rng.uniform(0.5, 12.0)
                lines.append("%.5f %.*f\n" % (mz, 1 + k % 4, rng.uniform(100, 1e6)))
            f.write("".join(lines) + "END IONS\n")


def write_dta(path, members=10000):
    rng = random.Random(43)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
        for m in range(members):
            mz = 350.0
            lines = ["0 0\n"]
            for _ in range(1000):
                mz += rng.uniform(0.05, 1.5)
                lines.append("%.6f\t%.4f\n" % (mz, rng.uniform(1e3, 1e7)))
            scan = m * 10 + 1
            zf.writestr("run.MS1.%d.%d.0.dta" % (scan, scan), "".join(lines))


def peak_rss_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def timed(label, call, size_mb):
    start = time.perf_counter()
    table = call()
    seconds = time.perf_counter() - start
    peaks = sum(len(r["ion_mass"]) for r in table.values())
    print("%-16s %8.3f s  %7.1f MB/s  %6d scans  %9d peaks  peak RSS so far %7.0f MB"
          % (label, seconds, size_mb / seconds, len(table), peaks, peak_rss_mb()))
    return peaks


def heap_peak(label, call, peaks):
    tracemalloc.start()
    table = call()
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    del table
    print("%-16s Python heap peak %7.0f MB (%.0f bytes per peak)" % (label, peak / 1e6, peak / max(peaks, 1)))


def main():
    if not os.path.exists(MGF):
        write_mgf(MGF)
    if not os.path.exists(DTA):
        write_dta(DTA)
    print("python", sys.version.split()[0])
    mgf_mb = os.path.getsize(MGF) / 1e6
    with zipfile.ZipFile(DTA) as zf:
        text_mb = sum(i.file_size for i in zf.infolist()) / 1e6
    read_mgf = lambda: V.read_ms_Mgf(MGF)
    read_dta = lambda: V.read_ms_DtaZip(DTA)
    # Timings first: tracing allocations inflates both time and RSS.
    mgf_peaks = timed("read_ms_Mgf", read_mgf, mgf_mb)
    dta_peaks = timed("read_ms_DtaZip", read_dta, text_mb)
    heap_peak("read_ms_Mgf", read_mgf, mgf_peaks)
    heap_peak("read_ms_DtaZip", read_dta, dta_peaks)


if __name__ == "__main__":
    main()
