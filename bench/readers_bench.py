"""Whole-call figures for read_ms_Mgf and read_ms_DtaZip from the interpreter, at the sizes of a
generated fraction of 500, 2,000 and 5,000 groups.

Run by hand after building (PYTHONPATH=build /usr/bin/python3 bench/readers_bench.py [groups...]).
Uses the synthetic inputs that bench/readers_bench.cpp writes into /tmp (an MS3 MGF of 60 MB and
an MS1 DTA zip of 20 MB at 5,000 groups); they are written here too, with the same shapes, when
missing. Each call runs in a fresh interpreter, three times; reported are the median time, the
throughput and the call's extra peak memory (the high-water mark of resident memory above what
the interpreter held before the call).
"""
import os
import random
import statistics
import subprocess
import sys
import zipfile

MEASURE = """
import sys, time
import Vombrelle1pt0_Submission as V
def hwm():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
call = getattr(V, sys.argv[1])
before = hwm()
t0 = time.perf_counter()
table = call(sys.argv[2])
seconds = time.perf_counter() - t0
print(seconds, (hwm() - before) / 1024, len(table), sum(len(r["ion_mass"]) for r in table.values()))
"""


def write_mgf(path, spectra, peaks, seed):
    rng = random.Random(seed)
    with open(path + ".part", "w") as f:
        f.write("MASS=Monoisotopic\n")
        for s in range(1, spectra + 1):
            f.write('BEGIN IONS\nTITLE=run.%d.%d.2 File:"run.raw", NativeID:"controllerType=0 controllerNumber=1 '
                    'scan=%d"\nPEPMASS=%.5f %.5f\nCHARGE=%d+\nRTINSECONDS=%d\nSCANS=%d\n'
                    % (s, s, s, 400 + rng.uniform(0.5, 12) * 50, rng.uniform(100, 1e6), 2 + s % 4, s // 10, s))
            mz = 100.0
            lines = []
            for k in range(peaks):
                mz += rng.uniform(0.5, 12.0) * 150.0 / peaks
                lines.append("%.5f %.*f\n" % (mz, 1 + k % 4, rng.uniform(100, 1e6)))
            f.write("".join(lines) + "END IONS\n")
    os.rename(path + ".part", path)


def write_dta(path, members):
    rng = random.Random(43)
    with zipfile.ZipFile(path + ".part", "w", zipfile.ZIP_DEFLATED) as zf:
        for m in range(members):
            mz = 350.0
            lines = ["0 0\n"]
            for _ in range(1000):
                mz += rng.uniform(0.05, 1.5)
                lines.append("%.6f\t%.4f\n" % (mz, rng.uniform(1e3, 1e7)))
            scan = m * 10 + 1
            zf.writestr("run.MS1.%d.%d.0.dta" % (scan, scan), "".join(lines))
    os.rename(path + ".part", path)


def inputs(groups):
    mgf = "/tmp/vombrelle_bench_ms3_%dx140.mgf" % (4 * groups)
    dta = "/tmp/vombrelle_bench_ms1_%d.dta.zip" % (groups * 8 // 25)
    if not os.path.exists(mgf):
        write_mgf(mgf, 4 * groups, 140, 42)
    if not os.path.exists(dta):
        write_dta(dta, groups * 8 // 25)
    with zipfile.ZipFile(dta) as zf:
        text_mb = sum(i.file_size for i in zf.infolist()) / 1e6
    return [("read_ms_Mgf", mgf, os.path.getsize(mgf) / 1e6), ("read_ms_DtaZip", dta, text_mb)]


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [500, 2000, 5000]
    print("python", sys.version.split()[0])
    for groups in sizes:
        for call, path, size_mb in inputs(groups):
            runs = []
            for _ in range(3):
                out = subprocess.run([sys.executable, "-c", MEASURE, call, path], check=True, capture_output=True,
                                     text=True, env=dict(os.environ)).stdout.split()
                runs.append((float(out[0]), float(out[1]), int(out[2]), int(out[3])))
            seconds = statistics.median(r[0] for r in runs)
            memory = statistics.median(r[1] for r in runs)
            print("%5d groups  %-15s %7.1f MB  %7.3f s  %7.1f MB/s  extra memory %6.0f MB  (%d scans, %d peaks)"
                  % (groups, call, size_mb, seconds, size_mb / seconds, memory, runs[0][2], runs[0][3]))


if __name__ == "__main__":
    main()
