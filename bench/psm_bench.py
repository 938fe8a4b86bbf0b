"""Reading a synthetic PSM export of 100,000 rows from Python: time and peak memory of
read_PD_PSM_results_tsv_wrapper and read_PD_PSM_results, with rescale_qval the module's own and
rebound, and of a plain three-walk reading in Python for scale.

Run by hand:  PYTHONPATH=build /usr/bin/python3 bench/psm_bench.py [rows]
Each figure comes from a fresh interpreter, so peak memory is that of the one call."""
import os
import random
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LINKER = (85.9826, 54.0106, "DSSO_long", "DSSO_short")


def make_table(path, rows, seed=42):
    rng = random.Random(seed)
    with open(path, "w", newline="") as f:
        f.write('"Checked"\t"Confidence"\t"PSM Ambiguity"\t"Annotated Sequence"\t"Modifications"\t'
                '"Protein Accessions"\t"Protein Descriptions"\t"Charge"\t"MH+ [Da]"\t"First Scan"\t'
                '"Percolator q-Value"\r\n')
        for i in range(rows):
            seq = "LVTDLTk" if rng.random() < 0.1 else ("PEPTIDEK" if rng.random() < 0.125 else "AEFVEVTkLVTDLTK")
            acc = rng.randrange(1000)
            f.write(f'"False"\t"{rng.choice(["High"] * 3 + ["Medium"] * 2 + ["Low"])}"\t'
                    f'"{rng.choice(["Unambiguous", "Unambiguous", "Selected", "Rejected"])}"\t"{seq}"\t'
                    f'"K8(DSSO_long); M1(Oxidation)"\t"P{acc}; P{(acc + 1) % 1000}"\t'
                    f'"Protein {acc} OS=Homo sapiens"\t"3"\t"{1200 + rng.randrange(2000000) / 1000}"\t'
                    f'"{1000 + i * 2 // 3}"\t"{rng.randrange(1000) / 100000}"\r\n')


def uniprot():
    return {f"P{i}": f"MAGGGLVTDLTK{i % 7}" for i in range(1000)}


def child(kind, path):
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))  # the tests' shared helpers
    import Vombrelle1pt0_Submission as V
    lines = None
    if kind in ("lines", "reference"):
        with open(path) as f:
            lines = [line.replace('"', "") for line in f]
    if kind == "rebound":
        V.rescale_qval = lambda q: 1 - q
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    if kind == "reference":
        from helpers.psm import read_lines
        result = read_lines(lines, uniprot(), *LINKER)
    elif kind == "lines":
        result = V.read_PD_PSM_results(lines, uniprot(), *LINKER)
    else:
        result = V.read_PD_PSM_results_tsv_wrapper(path, uniprot(), *LINKER)
    elapsed = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    assert len(result[2]) > 0
    print(f"{elapsed:.4f} {(peak - before) / 1024:.1f} {peak / 1024:.1f}")


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "psms.txt")
        make_table(path, rows)
        size = os.path.getsize(path) / 1e6
        print(f"{rows} rows, {size:.1f} MB")
        print(f"{'call':<40} {'best s':>8} {'MB/s':>7} {'peak growth MB':>15} {'peak RSS MB':>12}")
        for kind, label, runs in [("wrapper", "wrapper (file -> tables)", 5),
                                  ("lines", "read_PD_PSM_results (lines -> tables)", 5),
                                  ("rebound", "wrapper, rescale_qval rebound", 3),
                                  ("reference", "plain three-walk reading in Python", 1)]:
            best = None
            for _ in range(runs):
                out = subprocess.run([sys.executable, __file__, "--child", kind, path], check=True,
                                     capture_output=True, text=True).stdout.split()
                t, growth, peak = float(out[0]), float(out[1]), float(out[2])
                if best is None or t < best[0]:
                    best = (t, growth, peak)
            print(f"{label:<40} {best[0]:>8.3f} {size / best[0]:>7.1f} {best[1]:>15.1f} {best[2]:>12.1f}")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--child":
        child(sys.argv[2], sys.argv[3])
    else:
        main()
