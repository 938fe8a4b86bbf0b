"""Texts holding lone surrogates (as names or lines decoded with surrogateescape hold them) pass
through the results functions and the PSM reader as through the interpreter's own algorithm."""
import random

import pytest

from helpers import psm as ref
from helpers.outcome import outcome
from helpers import results as R
from helpers.psm import LINKER, UNIPROT, random_table
from helpers.scored_lines import expected_mh, line, record

# Lone surrogates, a pair of them (two code points, not the character they would encode), that
# character itself, and neighbours the core must not confuse with them: whitespace and ";".
PIECES = ["\udc80", "\ud800", "\ud83d\ude00", "\U0001f600", " \udcff\u2003", "ran\udcc0dom", "random\udc80",
          "\udc80;P1", "AAK", "GGK", "P1", "random_P2", ""]


def text(rng, n=2):
    return "".join(rng.choice(PIECES) for _ in range(rng.randint(0, n)))


def scored_lines(rng):
    out = []
    for _ in range(rng.randrange(12)):
        score = rng.choice(["5", "12.5", "3", "0.0"] + ["1\udc80"] * (rng.random() < 0.05))
        out.append(text(rng, 1) + line(score, text(rng), text(rng), ids_a=text(rng), ids_b=text(rng),
                                       desc_a=text(rng), remarks=text(rng), fraction=text(rng)) + text(rng, 1))
    return out


@pytest.mark.parametrize("seed", range(60))
def test_scored_lines(mod, seed):
    rng = random.Random(seed)
    lines, cutoff = scored_lines(rng), rng.choice([0, 20, 50.0, 99])
    for name in ("FDR_XL_list", "remove_random"):
        assert outcome(lambda: getattr(mod, name)(lines)) == outcome(lambda: getattr(R, name)(lines))
    assert outcome(lambda: mod.filter_XL_FDR(lines, cutoff)) == outcome(lambda: R.filter_XL_FDR(lines, cutoff))


MASS = {"A": 71.03711, "G": 57.02146, "K": 128.09496, "\udc80": 100.5, "\ud83d": 1.25, "\ude00": 2.5, "\U0001f600": 9.0}
MOD = {"mm_H": 1.007825, "mm_O": 15.994915}
LINKER_MASS = 158.0038
RESIDUES = ["A", "G", "K", "\udc80", "\ud83d\ude00", "\U0001f600", " \udc80", "\udc80 ;K"]


@pytest.mark.parametrize("seed", range(40))
def test_score_maps(mod, seed):
    rng = random.Random(seed)
    recs = {}
    for _ in range(rng.randrange(1, 10)):
        pep_a, pep_b = ("".join(rng.choice(RESIDUES) for _ in range(rng.randint(1, 4))) for _ in "ab")
        if rng.random() < 0.05:
            pep_a += "\ud800"  # no mass: the key error names the surrogate
        try:  # the stated mass the check expects, or one it refuses
            mh = repr(expected_mh(pep_a.split(";")[0].strip(), pep_b.split(";")[0].strip(), MASS, MOD, LINKER_MASS)
                      + rng.choice([0.0, 0.0, 1.0]))
        except KeyError:
            mh = "1000.0"
        recs[record(pep_a, pep_b, mh=mh, remarks=text(rng)) + text(rng, 1)] = rng.choice([1.0, 2, 7.5, 7.5])
    fraction = text(rng) or "F\udc80"
    args = (MASS, MOD, LINKER_MASS, 10, fraction)
    assert outcome(lambda: mod.filter_pep_pair(recs, *args)) == outcome(lambda: R.filter_pep_pair(recs, *args))
    keys = {k + "\t" + fraction: v for k, v in recs.items()}
    assert outcome(lambda: mod.XL_recurrence_score(keys)) == outcome(lambda: R.XL_recurrence_score(keys))


# The same substitution in the table, the protein map and the linker names keeps the table's
# meaning: surrogates then stand in sequences, accessions, descriptions, modifications and the
# faulty cells whose errors quote them.
SUBSTITUTIONS = [("AkDEFR", "A\udc80kDEFR"), ("P2", "P\ud8002"), ("d1", "d\udc801"), ("ÄLk", "\ud83d\ude00Lk"),
                 ("ÄLK", "\ud83d\ude00LK"), ("DSSO_short", "DSSO\udc80short"), ("abc", "a\udc80c"), ("Unsure", "Uns\udcffure")]


def substituted(text):
    for old, new in SUBSTITUTIONS:
        text = text.replace(old, new)
    return text


@pytest.mark.parametrize("seed", range(30))
def test_psm_tables(mod, seed):
    lines = [substituted(l) for l in random_table(random.Random(seed), with_qval=seed % 2 == 0, faults=True)]
    uniprot = {substituted(k): substituted(v) for k, v in UNIPROT.items()}
    args = (uniprot, LINKER[0], LINKER[1], substituted(LINKER[2]), substituted(LINKER[3]))
    assert outcome(lambda: mod.read_PD_PSM_results(lines, *args)) == outcome(lambda: ref.read_lines(lines, *args))
