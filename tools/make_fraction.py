#!/usr/bin/python3
"""Deterministic generator of small, self-consistent fractions for the tests, the benchmarks and
the example job. Standard library only; the same seed and parameters give byte-identical files.

    /usr/bin/python3 tools/make_fraction.py OUT_DIR [--seed N] [--groups N | --kind ID=COUNT ...]

or, from Python, ``make_fraction(folder, seed=..., groups=...)``, which returns the manifest.

What a fraction holds (file names inside OUT_DIR)
-------------------------------------------------
- ms1.dta.zip: the MS1 scans, one DTA member per scan named "<fraction>.<scan>.<scan>.0.dta",
  first line "0.00000 0", then "m/z intensity" lines in ascending m/z.
- ms2.mgf: the MS2 scans (PEPMASS is the picked precursor m/z, CHARGE its charge).
- ms3.mgf: the MS3 scans, each labelled with the precursor of its parent MS2 scan (the MS2 scan's
  PEPMASS text and charge), so the MS3 scans of one precursor share one header list.
- ms3_msn1.mgf: the same MS3 scans (same titles and peaks), each labelled with its own precursor,
  the signature fragment that was isolated for it.
- ms2_deconv.mgf: every MS2 scan again, deisotoped and charge-deconvoluted (PEPMASS is the MH+,
  CHARGE=1+, peaks are singly charged masses).
- psm_ms3.tsv: the PSM table of the database search of the MS3 scans, every field and column name
  in double quotes; noise MS3 scans have a PSM now and then (half of them without a linked lysine,
  which the reader drops).
- psm_rescue.tsv: the PSM table that the outside search of the rescue spectra gives: one row per
  rescue spectrum that the rescue spectrum generation writes for this fraction and that the search
  "identifies"; its "First Scan" is the SCANS label of the spectrum (the MS3 scan number for
  four-scan groups, the number + 1000000 for three-scan groups, and for two-scan groups the
  integer part of the label, that is the MS3 scan number itself). Its fields are not quoted.
- uniprot.json: the uniprot_dict, accession -> protein sequence, targets and decoys.
- driver.json: the driver's arguments, by function and argument name: every argument of
  Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf and of find_XL_from_mgf, filter_pep_pair's
  mass_dict, mod_dict, linker_mass, prec_tol_ppm and fraction, filter_XL_FDR's FDR_cutoff and
  write_XL's file_path (MS2_Rescue "YES", prec_tol_ppm 10, FDR_cutoff 5; the two outputs are
  rescue.mgf and result.tsv). File arguments are names relative to OUT_DIR; uniprot_dict names
  uniprot.json. driver_arguments(folder) resolves both.
- manifest.json: the seed and parameters, the scans of every group with its kind and what the
  generator intends the system to make of it (below), the noise scans and the count per kind.

The chemistry
-------------
A cleavable cross-linker of intact mass 158.0038 Da whose arms leave remnants of 85.9826 Da (long,
modification name "LinkerLong") and 54.0106 Da (short, "LinkerShort"); linker_dm = 31.972 and
linker_deficit = 18.0106 follow. Peptides are digested from random proteins at a missed cleavage
after the linked lysine, which the PSM table writes in lower case (an oxidised methionine is "m");
decoy proteins are reversed targets named "random_<accession>", and a few target peptides are
also listed under a "random_S..." protein that holds them, so that remove_random has decoy
identifiers to strip from target lines. Masses follow the system's own arithmetic: peptide MH+ =
residues + 3 x 1.007825 + 15.994915 (mass_dict and mod_dict of driver.json); fragment MH+ =
peptide MH+ + remnant; precursor MH+ = MH+(A) + MH+(B) + 158.0038 - 1.007825; m/z = (MH+ -
1.007825) / z + 1.007825, written with five decimals. Charges add up: z(A fragment) + z(B fragment)
= z(precursor). The PSM table's "MH+ [Da]" is the measured precursor MH+ of the spectrum, so
"pep_mass" = MH+ - remnant is the peptide's MH+. MS3 precursor m/z are exact (the three-scan arm
test allows 20 ppm of linker_dm, about 0.0006 Da); MS2 precursors carry up to 1.5 ppm of error, and
signature peaks up to 2 ppm. Every MS2 scan of a group holds the signature peaks of both peptides
(both arms, at their fragment charges); noise peaks keep 40 ppm away from the group's MS3
precursors and from every partner m/z the rescue spectrum generation could derive from them.
Each MS1 scan holds an isotope envelope (five peaks, 1.003355 / z apart) of every precursor of its
cycle; the peak the precursor was picked on (the monoisotopic one but for the isotope kinds) has
exactly the MS2 scan's PEPMASS text.
PSMs: "High" PSMs have q-values 0.0001 to 0.0095 (or exactly 0.01 where a kind says so), "Medium"
0.011 to 0.045 (or exactly 0.05), "Low" 0.06 to 0.40. Without the q-value column (a parameter per
table) the reader gives 0.99, 0.95 and 0, and the expected classes in the manifest follow that.

Scan layout
-----------
Scans are numbered from 1 in acquisition order. A cycle is one MS1 scan followed by up to
top_n (10) precursor events; an event is an MS2 scan directly followed by its MS3 scans. Events are
group events (one per group below) and noise events, about `noise` of them per group, drawn
before each group: half are an MS2 scan alone, half an MS2 scan with one MS3 scan (a singleton:
its header list is unique, so it never groups). Every MS2 precursor has a header ("m/z z") of its
own, so the groups never merge. A group is consecutive (MS2, then its MS3 scans) or, for about
one four- or three-scan group in five, spread: a noise event (MS2 + singleton MS3) sits between a1
and a2 of a four-scan group, or between s2 and s3 of a three-scan group, so that the look-ahead
window forms the group. Two-scan groups are always consecutive, so their neighbours differ.
The MS3 scans of a group are, in scan order, a1 a2 b1 b2 (peptide A's two arm scans, then B's, each
pair in random arm order), s1 s2 s3 or key, key + 1; the manifest's "roles" say which fragment
each scan is ("A short", "B long", "A long (wrong charge)", "B (wrong peak)").

Kinds (id: what it is and what it exercises; the manifest's "expect" says the outcome)
-------------------------------------------------------------------------------------
Four-scan groups:
- four_tier1_high: four High PSMs; first tier, class High, letters HHHH. In three of ten, one scan
  also has a Rejected second candidate, which changes nothing.
- four_tier1_medium: a1, a2 High, b1 High at q = 0.01 (0.99, the medium band), b2 only Medium:
  first tier with b2 unread, class Medium, letters HHH_.
- four_tier2_medium: a1, a2 Medium, b1, b2 High: the first tier's gate fails, second tier, Medium.
- four_tier2_low: a1, a2 Medium at q = 0.05 (0.95, the low band), b1, b2 Medium: second tier, Low.
- four_tier2_ms2medlow: a1 Medium at q = 0.05, a2 only Low, b1, b2 High: second tier with a2
  unread, class MS2_MedLow, score 0.
- four_tier3: four Low PSMs: only the third tier pairs, no record; the re-formed three-scan group
  a2:b1:b2 is of class Low and stores nothing either.
- four_disagree_tier2: a2's selected PSM is another peptide (High); its Medium second row is A:
  the first tier remarks "different_pep_A_seqs" and pairs nothing, the second tier agrees through
  a2's full list; class Medium (also without q-values), the remark kept.
- four_disagree_reformed: a2 is identified as another peptide only: no four-scan record; the
  re-formed three-scan group a2:b1:b2 pairs a2's wrong peptide (its PSM mass is the measured one)
  with B and is stored, and the precursor re-check of filter_pep_pair drops it.
- four_cleared: b1's own precursor carries a wrong charge and has no PSM: only a1 with b2 match,
  so a2 and b1 are cleared to 0 (scan string a1:0:0:b2,ms2, letters H__H). A cleared scan has no
  PSM and is never looked up, so every such group stores its record.
- four_signature_missing: a1's signature peak is missing from the MS2 scan: too few signature
  peaks, no four-scan record; the re-formed three-scan group a2:b1:b2 is stored (High, HHH).
- four_isotope_located / four_isotope_not_located: the MS2 precursor was picked on isotope peak
  1, 2 or 3 (1 or 2); the preceding MS1 scan holds that m/z exactly, and the monoisotopic peak
  (located) or not (not located): precursor-mass rescue, record with the derived m/z and MH+.
- four_isotope_downstream: picked 1.003355 / z below the monoisotopic peak; rescue with
  "Downstream search: -1.0", located.
- four_isotope_no_ms1: isotope error, but no MS1 scan holds the precursor m/z: dropped.
- four_rescue_tier1 / four_rescue_tier2 / four_rescue_low / four_rescue_very_low: B's two MS3 own
  precursors carry a wrong charge (no PSMs): mismatch, the rescue spectrum generation writes b1
  and b2 (B-partner pass) and the rescue PSM table identifies B there (High; Medium; Medium at
  q = 0.05 with A Medium at q = 0.05; b1 Medium at q = 0.05 and b2 Low): one MS2-search rescue
  record, class High / Medium / Low / Very_low, scan string a1:a2:b1.1:b2.1,ms2.
- four_rescue_disagree: as four_rescue_tier1, but b2's rescue spectrum's selected PSM is another
  peptide with B as a Medium second row: remark "different_pep_B_seqs;MS2_Rescued_XL".
- four_rescue_low_psms: rescue spectra written, only Low rescue PSMs: no record.
- four_no_partner: B's MS3 scans were taken on wrong peaks and B is absent from the MS2 scan:
  mismatch, nothing confirmed, no rescue spectra, no record.
- four_no_parent: the MS3 scans' parent header has four decimals, the MS2 scan's five: no parent
  MS2 scan, dropped everywhere.
- four_recheck_drop: as four_tier1_high with the precursor 12.5 to 14 ppm off: stored by the
  search (20 ppm), dropped by the precursor re-check (prec_tol_ppm 10).
- four_cterm: as four_tier1_high, peptide B is its protein's C-terminal peptide ending in the
  linked lysine (kept by the reader's C-terminal rule).
Three-scan groups:
- three_scan2_a / three_scan2_b: s2 is peptide A's other arm (letters s1 s2 s3) or peptide B's
  (letters s1 s3 s2); High.
- three_medium: the lone peptide's PSM is Medium: class Medium.
- three_low: the lone peptide's PSM is Low: class Low, not stored.
- three_narrowing: one scan of the two-scan side is identified (Low) as another peptide: the
  sides' lists agree on nothing, the narrowing to High/Medium keeps the good one; the unread slot
  gives "_".
- three_disagree: that other peptide is High: no agreement, dropped.
- three_both_arms: a homodimer A-A with s3 a second scan of s1's fragment: both arm tests hold
  (s2 counts for A); the MS2 scan has a second peak within 9 ppm of s2's m/z so that the
  signature count reaches the four matched masses.
- three_rescue: s3 (B) has a wrong charge and no PSM: mismatch; the rescue spectrum generation
  writes s1 + 1000000 and s2 + 1000000 (first case), the rescue table identifies B there, and the
  MS2-search rescue stores two records: s1:s2:(s2+1000000).1:(s3+1000000).1 and
  s2:s3:(s1+1000000).1:(s2+1000000).1.
Two-scan groups:
- two_hetero: A and B, High; two_same: a homodimer, the same sequence in both scans (doubled
  score); two_medium: one PSM Medium; two_low: one PSM Low (not stored).
- two_rescue: both scans are peptide A's arms, B never got an MS3 scan but its signature peaks are
  in the MS2 scan: mismatch, the two-scan arm test holds, rescue spectra key.1 and (key+1).1, the
  rescue table lists B under key and key + 1, one rescue record key:key+1:key.1:(key+1).1,ms2.
- two_no_psm: key + 1 has no PSM: dropped at the PSM gate.
- two_cterm_dropped: B's only linked lysine is its last residue but the peptide does not end its
  protein: the reader drops the PSM and the group is dropped.
Decoys: about decoy_rate of the groups, of the kinds in DECOY_KINDS, have a decoy peptide B (now
and then A, or both); they are marked "decoy" in the manifest and score in the lower half.
A quarter of the plain target groups reuse the peptide pair of an earlier group, so that pairs
have several CSMs.

Manifest
--------
"groups" lists every group in scan order: "id", "kind", "label", "size", "decoy" (null, or the
decoy side "A", "B" or "AB"), "layout", "ms1_scan" (its cycle's), "ms2_scan", "scans" (the MS3
scans), "roles", "own_precursors" (the msn-1 headers), "precursor" ("mz" and "charge" of the MS2
scan, "header" as the MS3 scans carry it, "isotope_error"), "peptide_a", "peptide_b" (as the PSM
table writes them), "proteins_a", "proteins_b" and "expect", which assumes the driver's arguments:
- "record": the search's own record from the group, or from the group re-formed from a2 after the
  group yielded nothing; null when none is stored. Its "scans" is the record's scan string,
  "class" and "letters" its first two fields, "peptide_a", "peptide_b", "remarks", and "recheck"
  ("kept" or "dropped") what filter_pep_pair does with it. Scores are not given.
- "rescue_records": the MS2-search rescue's records, in the same form.
- "rescue_spectra": the SCANS labels the rescue spectrum generation writes for the group, in order.
- "precursor_rescue": the remarks RescuePrecMass returns, and "derived_mz" the m/z it derives.
"noise" lists the noise MS2 and MS3 scans, "ms1_scans" the MS1 scans, "kinds" the count per kind.
"""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from fraction.checks import Context  # noqa: E402
from fraction.chemistry import Proteome  # noqa: E402
from fraction.files import FILES, Writer, driver_arguments, manifest_of, write_all  # noqa: E402
from fraction.kinds import DECOY_KINDS, KINDS, MIXES  # noqa: E402
from fraction.layout import Acquisition, rescue_table  # noqa: E402

__all__ = ["FILES", "KINDS", "driver_arguments", "main", "make_fraction"]


def _plan(groups, mix, decoy_rate, rng):
    """The list of (kind, decoy side) to draw, in acquisition order."""
    if isinstance(groups, dict):
        unknown = sorted(set(groups) - set(KINDS))
        if unknown:
            raise ValueError("unknown kinds: %s" % ", ".join(unknown))
        plan = [(k, None) for k in KINDS for _ in range(groups.get(k, 0))]
    else:
        kinds = MIXES[mix] or list(KINDS)
        decoys = round(groups * decoy_rate) if set(DECOY_KINDS) & set(kinds) else 0
        rest = groups - decoys
        if rest >= len(kinds):  # every kind at least once, the rest by weight
            counts = {k: 1 for k in kinds}
            weights = {k: KINDS[k][2] for k in kinds}
            total = sum(weights.values())
            share = {k: (rest - len(kinds)) * weights[k] / total for k in kinds}
            for k in kinds:
                counts[k] += int(share[k])
            left = rest - sum(counts.values())
            for k in sorted(kinds, key=lambda k: (int(share[k]) - share[k], kinds.index(k)))[:left]:
                counts[k] += 1
        else:
            counts = {k: 1 for k in sorted(kinds, key=lambda k: -KINDS[k][2])[:rest]}
        plan = [(k, None) for k in kinds for _ in range(counts.get(k, 0))]
        eligible = [k for k in DECOY_KINDS if k in kinds]
        for i in range(decoys):
            plan.append((eligible[i % len(eligible)], rng.choice(["B", "B", "B", "A", "AB"])))
    rng.shuffle(plan)
    return plan


def make_fraction(folder, seed=1, groups=100, mix="default", noise=1.0, ms1_peaks=600, ms2_peaks=220,
                  deconv_peaks=120, ms3_peaks=85, qvalues_ms3=True, qvalues_rescue=True, decoy_rate=0.05,
                  fraction="F1", top_n=10):
    """Writes a fraction into `folder` (created if missing) and returns its manifest.

    groups: a total (kinds in the proportions of KINDS' weights, every kind at least once when the
    total allows, decoy_rate of them decoys), or a dict kind -> count (no decoys)."""
    rng = random.Random(seed)
    plan = _plan(groups, mix, decoy_rate, rng)
    settings = {"qvalues_ms3": qvalues_ms3, "qvalues_rescue": qvalues_rescue}
    proteome = Proteome(rng, max(40, len(plan) // 3))
    ctx = Context(rng, proteome, ms2_peaks)
    built = [ctx.group(kind, decoy) for kind, decoy in plan]
    for g in built:
        if g.size > 2 and rng.random() < 0.2:
            g.spread = 1 if g.size == 4 else 2
    writer = Writer(rng, fraction, {"deconv": deconv_peaks, "ms3": ms3_peaks},
                    {"ms3": True, "rescue": False}, {"ms3": qvalues_ms3, "rescue": qvalues_rescue})
    run = Acquisition(rng, writer, proteome, ctx.headers, top_n, ms1_peaks, ms2_peaks)
    for g in built:
        for _ in range(int(rng.random() * 2 * noise + 0.5)):
            run.noise(rng.random() < 0.5)
        run.group(g)
    run.close()
    rescue_table(writer, built)

    params = {"groups": groups, "mix": mix, "noise": noise, "ms1_peaks": ms1_peaks, "ms2_peaks": ms2_peaks,
              "deconv_peaks": deconv_peaks, "ms3_peaks": ms3_peaks, "qvalues_ms3": qvalues_ms3,
              "qvalues_rescue": qvalues_rescue, "decoy_rate": decoy_rate, "fraction": fraction, "top_n": top_n}
    manifest = manifest_of(built, settings, seed, params, run.noise_ms2, run.noise_ms3, run.ms1_scans)
    write_all(folder, writer, proteome, manifest, fraction)
    return manifest


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Write a deterministic synthetic fraction (spectra, PSM tables, driver arguments and a "
                    "manifest of the MS3 groups by kind). See the top of this file for the layout and the kinds.")
    parser.add_argument("folder", nargs="?", help="output folder (created if missing)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--groups", type=int, default=100, help="number of groups (default 100)")
    parser.add_argument("--mix", choices=sorted(MIXES), default="default",
                        help="kinds drawn for --groups: all, or four-scan kinds only")
    parser.add_argument("--kind", action="append", default=[], metavar="ID=COUNT",
                        help="exact count of one kind (repeatable; replaces --groups, no decoys)")
    parser.add_argument("--noise", type=float, default=1.0, help="noise events per group (default 1.0)")
    parser.add_argument("--decoy-rate", type=float, default=0.05)
    parser.add_argument("--ms1-peaks", type=int, default=600)
    parser.add_argument("--ms2-peaks", type=int, default=220)
    parser.add_argument("--deconv-peaks", type=int, default=120)
    parser.add_argument("--ms3-peaks", type=int, default=85)
    parser.add_argument("--no-qvalues-ms3", action="store_true", help="MS3 PSM table without q-values")
    parser.add_argument("--no-qvalues-rescue", action="store_true", help="rescue PSM table without q-values")
    parser.add_argument("--fraction", default="F1", help="fraction name (titles, DTA names, driver label)")
    parser.add_argument("--list-kinds", action="store_true", help="list the kinds and exit")
    a = parser.parse_args(argv)
    if a.list_kinds:
        for k, (size, label, weight, _) in KINDS.items():
            print("%-26s %d  weight %2d  %s" % (k, size, weight, label))
        return 0
    if not a.folder:
        parser.error("the output folder is required")
    groups = a.groups
    if a.kind:
        groups = {}
        for item in a.kind:
            name, _, count = item.partition("=")
            groups[name] = int(count or 1)
    manifest = make_fraction(a.folder, seed=a.seed, groups=groups, mix=a.mix, noise=a.noise,
                             ms1_peaks=a.ms1_peaks, ms2_peaks=a.ms2_peaks, deconv_peaks=a.deconv_peaks,
                             ms3_peaks=a.ms3_peaks, qvalues_ms3=not a.no_qvalues_ms3,
                             qvalues_rescue=not a.no_qvalues_rescue, decoy_rate=a.decoy_rate,
                             fraction=a.fraction)
    total = 0
    for key, name in FILES.items():
        size = os.path.getsize(os.path.join(a.folder, name))
        total += size
        print("%-16s %10d bytes" % (name, size))
    print("%d groups, %d bytes in all" % (len(manifest["groups"]), total))
    return 0


if __name__ == "__main__":
    sys.exit(main())

