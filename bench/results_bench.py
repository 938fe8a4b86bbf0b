"""Whole-chain benchmark of the result filtering: 100,000 cross-link records of four fractions
through filter_pep_pair -> XL_recurrence_score -> filter_XL_FDR -> write_XL, with the time and
the peak resident memory each call adds. Run: PYTHONPATH=build /usr/bin/python3 bench/results_bench.py
"""
import os
import random
import sys
import tempfile
import time

import Vombrelle1pt0_Submission as V

RECORDS = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
FRACTIONS = 4
MASS = {"A": 71.03711, "C": 103.00919, "D": 115.02694, "E": 129.04259, "F": 147.06841,
        "G": 57.02146, "H": 137.05891, "I": 113.08406, "K": 128.09496, "L": 113.08406,
        "M": 131.04049, "N": 114.04293, "P": 97.05276, "Q": 128.05858, "R": 156.10111,
        "S": 87.03203, "T": 101.04768, "V": 99.06841, "W": 186.07931, "Y": 163.06333}
MOD = {"mm_H": 1.007825, "mm_O": 15.994915}
LINKER = 158.0038


def peptide_mh(seq):
    s = 0
    for aa in seq:
        s += MASS[aa]
    return round(s + (MOD["mm_H"] * 2 + MOD["mm_O"] + MOD["mm_H"]), 5)


def make_fractions(rng):
    letters = "".join(MASS)
    peptides = ["".join(rng.choice(letters) for _ in range(rng.randrange(6, 25))) + "K"
                for _ in range(20_000)]
    fractions = [{} for _ in range(FRACTIONS)]
    for i in range(RECORDS):
        a, b = rng.choice(peptides), rng.choice(peptides)
        if rng.random() < 0.5:  # recurring pairs, in both orientations
            a, b = peptides[i % 3000], peptides[(i * 7) % 3000 + 3000]
            if rng.random() < 0.5:
                a, b = b, a
        mh = (peptide_mh(a) + peptide_mh(b)) + LINKER - MOD["mm_H"]
        mh *= 1 + rng.uniform(-15e-6, 15e-6)   # about a third fall outside 10 ppm
        decoy = rng.random() < 0.1
        ids_a = "random_sp|Q%05d" % i if decoy else "sp|P%05d;sp|P%05d" % (i % 977, i % 613)
        rec = "\t".join([rng.choice(["High", "Medium", "Low", "MS2_MedLow"]), "HHMM", "%d:%d:%d:%d,%d" % (
            4 * i + 1, 4 * i + 2, 4 * i + 3, 4 * i + 4, 4 * i), repr(mh), "4", repr((mh - 1.007825) / 4 + 1.007825),
            a, ids_a, "protein a one;protein a two", b, "sp|P%05d" % (i % 499), "protein b", ""])
        # decoys score low, as they do in a real search
        score = 0 if rng.random() < 0.02 else round(rng.uniform(0, 30) if decoy else rng.uniform(10, 80), 6)
        fractions[i % FRACTIONS][rec] = score
    return fractions


def rss_kb(field):
    with open("/proc/self/status") as f:
        for ln in f:
            if ln.startswith(field + ":"):
                return int(ln.split()[1])


def measure(name, fn, *args):
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")  # resets the peak resident size
    except OSError:
        pass
    before = rss_kb("VmRSS")
    t0 = time.perf_counter()
    out = fn(*args)
    dt = time.perf_counter() - t0
    peak = rss_kb("VmHWM") - before
    print("%-22s %9.1f ms   peak +%7.1f MB" % (name, dt * 1000, peak / 1024))
    return out, dt


def main():
    fractions = make_fractions(random.Random(2026))
    print("%d records in %d fractions" % (RECORDS, FRACTIONS))

    def recheck_all():
        united = {}
        for n, xl in enumerate(fractions):
            united.update(V.filter_pep_pair(xl, MASS, MOD, LINKER, 10, "F%d" % (n + 1)))
        return united

    united, _ = measure("filter_pep_pair (x%d)" % FRACTIONS, recheck_all)
    lines, _ = measure("XL_recurrence_score", V.XL_recurrence_score, united)
    kept, _ = measure("filter_XL_FDR", V.filter_XL_FDR, lines, 1)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "table.tsv")
        measure("write_XL", V.write_XL, kept, path)
        size = os.path.getsize(path)
    print("kept %d records, %d pair lines, %d lines after the 1%% cut, table %.1f MB"
          % (len(united), len(lines), len(kept), size / 1e6))
    assert kept and len(kept) < len(lines)

    # The same cut with the estimate rebound (called by name on every shortened list).
    short = lines[-4000:]  # the decoy-rich tail: most shortened lists fail
    _, fast = measure("cut, own estimate", V.filter_XL_FDR, short, 0)
    own = V.FDR_XL_list
    V.FDR_XL_list = lambda xl: own(xl)
    try:
        slow_out, slow = measure("cut, rebound estimate", V.filter_XL_FDR, short, 0)
    finally:
        V.FDR_XL_list = own
    assert slow_out == V.filter_XL_FDR(short, 0)
    print("%d lines: rebound estimate %.0fx slower" % (len(short), slow / fast))


if __name__ == "__main__":
    main()
