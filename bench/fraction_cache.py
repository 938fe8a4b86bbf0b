"""Generated fractions kept between benchmark runs: one folder per size under a cache folder, made
once with tools/make_fraction.py (seed 1, every kind of group) and reused while its manifest is there."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

SEED = 1


def fraction_folder(cache, groups):
    import make_fraction as gen
    folder = os.path.join(cache, "g%d_s%d" % (groups, SEED))
    if not os.path.exists(os.path.join(folder, gen.FILES["manifest"])):
        print("generating %d groups into %s" % (groups, folder), file=sys.stderr, flush=True)
        gen.make_fraction(folder, seed=SEED, groups=groups)
    return folder
