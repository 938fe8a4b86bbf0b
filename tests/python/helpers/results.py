"""The result-filtering functions written plainly, as their contracts read, to compare the module
against on texts of any kind: lines and keys lose every whitespace but the tab at their ends
before they are split, so that edge tabs keep the fields in place."""
import math
from collections import Counter

from helpers.psm import NOT_TAB


def fields(line):
    return line.strip(NOT_TAB).split("\t")


def FDR_XL_list(XL_list):
    decoys, seen, targets = 0, [], []
    for line in XL_list:
        f = fields(line)
        comb1, comb2 = "%s:%s" % (f[8], f[11]), "%s:%s" % (f[11], f[8])
        if comb1 in seen or comb2 in seen:
            continue
        seen.append(comb1)
        sides = [[i.strip() for i in f[9].split(";")], [i.strip() for i in f[12].split(";")]]
        if any(all("random" in i for i in ids) for ids in sides):
            decoys += 1
        else:
            targets.append(line.strip(NOT_TAB))
    return (round(decoys / len(seen) * 100, 2) if seen else "NA"), targets


def remove_random(XL_list):
    def side(ids, descriptions):
        ids, descriptions = [i.strip() for i in ids.split(";")], [d.strip() for d in descriptions.split(";")]
        kept = [n for n, i in enumerate(ids) if "random" not in i]
        return ";".join(ids[n] for n in kept) + "\t" + ";".join(descriptions[n] for n in kept if n < len(descriptions))

    out = []
    for line in XL_list:
        f = [x.strip() for x in fields(line)]
        f[13]  # noqa: B018 - a line of fewer than 14 fields fails here
        out.append("\t".join(f[:9] + [side(f[9], f[10]), f[11], side(f[12], f[13])] + f[14:]) + "\n")
    return out


def filter_XL_FDR(XL_list, FDR_cutoff):
    lines = sorted(XL_list, key=lambda l: float(l.split("\t")[0]), reverse=True)
    for m in range(len(lines), 0, -1):
        fdr, targets = FDR_XL_list(lines[:m])
        if fdr <= FDR_cutoff:
            return remove_random(targets)
    return []


def XL_recurrence_score(XL_dict):
    def pair(key):
        f = fields(key)
        return f[6].strip().split(";")[0], f[9].strip().split(";")[0]

    counts = Counter("%s:%s" % pair(k) for k in XL_dict.keys())
    lines, tracked = [], set()
    for key in sorted(XL_dict, key=XL_dict.__getitem__, reverse=True):
        a, b = pair(key)
        comb1, comb2 = "%s:%s" % (a, b), "%s:%s" % (b, a)
        if comb1 in tracked or comb2 in tracked:
            continue
        tracked.add(comb1)
        count = counts[comb1] + (0 if a == b else counts[comb2])
        lines.append("%s\t%s\t%s" % (round(XL_dict[key] + (count - 1), 2), count, key))
    return sorted(lines, key=lambda l: float(l.split("\t")[0]), reverse=True)


def filter_pep_pair(XL_dict, mass_dict, mod_dict, linker_mass, prec_tol_ppm, fraction):
    def mh(seq):
        total = 0
        for aa in seq:
            total = total + mass_dict[aa]
        return round(total + (mod_dict["mm_H"] * 2 + mod_dict["mm_O"] + mod_dict["mm_H"]), 5)

    kept = {}
    for XL in sorted(XL_dict.keys(), key=XL_dict.__getitem__, reverse=True):
        f = [x.strip() for x in XL.split("\t")]
        pep_a, pep_b = f[6].split(";")[0].strip(), f[9].split(";")[0].strip()
        pep_a_mass, pep_b_mass = mh(pep_a), mh(pep_b)
        MS2_mass = float(f[3])
        expected = ((pep_a_mass + pep_b_mass) + linker_mass) - mod_dict["mm_H"]
        if math.isfinite(MS2_mass) and MS2_mass > 0 and abs(MS2_mass - expected) / MS2_mass * 1000000 <= prec_tol_ppm:
            kept["%s\t%s" % (XL, fraction)] = XL_dict[XL]
    return kept
