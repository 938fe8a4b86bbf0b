"""Drawing groups: peptides, charges and precursors for a kind, the MS2 scan's peaks, and the checks
that the numbers do what the kind means (which MS3 mass pairs explain the precursor, which scans are
arm pairs, which rescue spectra get written, whether the signature peaks suffice). A drawing that
fails a check is drawn again, so that every seed gives a fraction true to its manifest."""
import bisect

from . import kinds
from .chemistry import ARM_MASS, ISOTOPE, LINKER_DEFICIT, LINKER_DM, LINKER_MASS, PROTON, mz_of
from .kinds import KINDS, REFORMED, Group


def _arm_pair(m1, m2, tolerance):
    return abs(abs(m1 - m2) - LINKER_DM) / LINKER_DM <= tolerance


def _matches(masses, ms2_mh):
    """Positions of the MS3 mass pairs that explain the precursor, and whether one comes within 5.5 Da."""
    found, window = [], False
    for i in range(len(masses)):
        for j in range(i + 1, len(masses)):
            d = ms2_mh - (masses[i] + masses[j] + LINKER_DEFICIT - PROTON)
            if abs(d) / ms2_mh * 1e6 <= 20:
                found.append((i, j))
            window = window or -5.5 <= d <= 5.5
    return found, window


def _near(peaks, mz, tolerance=20):
    """Whether a peak lies within `tolerance` ppm of mz, relative to the peak."""
    if mz <= 0:
        return False
    i = bisect.bisect_left(peaks, mz * (1 - 2 * tolerance * 1e-6))
    return any(abs(p - mz) / p * 1e6 <= tolerance for p in peaks[i:i + 8])


def partner(g, scan):
    """The partner fragment (MH+, charge, m/z) that the rescue spectrum generation derives from a scan."""
    mass = g.ms2_mh - ((scan.mh + LINKER_DEFICIT) - PROTON)
    charge = g.z2 - scan.hz or 1
    return mass, charge, mz_of(mass, charge)


def _confirmed(g, first, second):
    """Whether both partners of an arm pair are among the MS2 peaks (long partner from the lighter scan)."""
    light, heavy = (first, second) if first.mh < second.mh else (second, first)
    long_mz, short_mz = partner(g, light)[2], partner(g, heavy)[2]
    if abs(long_mz - short_mz) / max(abs(long_mz), 1) * 1e6 <= 40:
        return False  # one peak would only count for the long partner
    mzs = [m for m, _ in g.peaks]
    return _near(mzs, long_mz) and _near(mzs, short_mz)


def _written(g):
    """Positions of the scans the rescue spectrum generation writes for the group, in file order."""
    sc = g.scans
    if g.no_parent or _matches([x.mh for x in sc], g.ms2_mh)[0]:
        return []
    pairs = {4: [(2, 3, 0, 1), (0, 1, 2, 3)], 3: [(0, 1, 0, 1), (1, 2, 1, 2)], 2: [(0, 1, 0, 1)]}[len(sc)]
    out = []
    for w1, w2, d1, d2 in pairs:  # written scans, scans the partners are derived from
        if len(sc) == 2 and not _arm_pair(sc[0].mh, sc[1].mh, 0.1):
            continue
        if _confirmed(g, sc[d1], sc[d2]):
            out += [w1, w2]
    return out


def _signature_ok(g, idx):
    masses = [g.scans[i].mh for i in idx]
    found = _matches(masses, g.ms2_mh)[0]
    mzs = [float(g.scans[i].mz) for i in idx]
    count = sum(1 for peak, _ in g.peaks for m in mzs if abs(peak - m) / peak * 1e6 <= 20)
    return bool(found) and count >= 2 * len(found)


def consistent(g):
    """Whether the drawn numbers do what the kind means; a group that fails is drawn again."""
    sc = g.scans
    masses = [x.mh for x in sc]
    found, window = _matches(masses, g.ms2_mh)
    homo = g.a is g.b
    designed = [] if g.isotope else [
        (i, j) for i in range(len(sc)) for j in range(i + 1, len(sc))
        if not sc[i].fault and not sc[j].fault and sc[i].arm != sc[j].arm and (homo or sc[i].key != sc[j].key)]
    if found != designed:
        return False
    if len(sc) == 4 and not found and window != bool(g.isotope):
        return False
    for i in range(len(sc)):  # arm pairs: only the two arms of one peptide, both with a true precursor
        for j in range(i + 1, len(sc)):
            arms = sc[i].key == sc[j].key and sc[i].arm != sc[j].arm and not sc[i].fault and not sc[j].fault
            if _arm_pair(masses[i], masses[j], 20e-6) != arms or (len(sc) == 2 and not found and
                                                                 _arm_pair(masses[i], masses[j], 0.1) != arms):
                return False
    intended = {"four_rescue": [2, 3], "three_rescue": [0, 1], "two_rescue": [0, 1]}
    if _written(g) != next((v for k, v in intended.items() if g.kind.startswith(k)), []):
        return False
    if found:
        whole = _signature_ok(g, range(len(sc)))
        if whole == (g.kind == "four_signature_missing"):
            return False
        if g.kind in REFORMED and not _signature_ok(g, [1, 2, 3]):
            return False
    if g.isotope:
        a = sorted(masses[:2])
        b = sorted(masses[2:])
        d1 = round(g.ms2_mh - (((a[0] + b[1]) + LINKER_DEFICIT) - PROTON), 1)
        d2 = round(g.ms2_mh - (((a[1] + b[0]) + LINKER_DEFICIT) - PROTON), 1)
        if d1 != d2 or d1 != float(g.isotope):
            return False
    return True


class Context:
    """Draws the groups of one fraction: keeps the precursor headers unique and the target pairs that
    later groups meet again (several CSMs of one pair)."""

    def __init__(self, rng, proteome, ms2_peaks):
        self.rng, self.proteome, self.ms2_peaks = rng, proteome, ms2_peaks
        self.pairs = []  # target pairs that later groups may meet again
        self.headers = set()

    def other(self, g):
        """A wrong identification: another peptide, more than a dalton from both of the group's."""
        while True:
            x = self.proteome.linked()
            if all(abs(x.mh - p.mh) > 1.0 and x.seq.upper() != p.seq.upper() for p in (g.a, g.b)):
                return x

    def _pair(self, opts, decoy):
        rng, prot = self.rng, self.proteome
        plain = not opts and not decoy
        if plain and self.pairs and rng.random() < 0.25:
            return rng.choice(self.pairs)
        dec_a = decoy == "A" or decoy == "AB"
        dec_b = decoy == "B" or decoy == "AB"
        a = prot.linked(decoy=dec_a)
        if opts.get("homo"):
            return a, a
        return a, prot.linked(decoy=dec_b, cterm=opts.get("cterm", False), inner_end=opts.get("inner_end", False))

    def _charges(self, a, b):
        rng = self.rng
        z2 = rng.choice([3, 3, 4, 4, 4, 5])
        options = [za for za in range(1, z2) if all(
            250 <= mz_of(p.frag(arm), z) <= 1950 for p, z in ((a, za), (b, z2 - za)) for arm in ARM_MASS)]
        precursor = mz_of(a.mh + b.mh + LINKER_MASS - PROTON, z2)
        if not options or not 350 <= precursor <= 1900:
            return None
        za = rng.choice(options)
        return z2, za, z2 - za

    def group(self, kind, decoy):
        opts = KINDS[kind][3]
        rng = self.rng
        for _ in range(100000):
            a, b = self._pair(opts, decoy)
            if a is not b and abs(a.mh - b.mh) < 8:
                continue
            charges = self._charges(a, b)
            if charges is None:
                continue
            g = Group(kind, a, b, *charges)
            g.decoy = decoy
            getattr(kinds, "build_" + kind)(g, rng, self)
            self._precursors(g)
            if g.header in self.headers:
                continue
            self._ms2_peaks(g)
            if consistent(g):
                self.headers.add(g.header)
                if not opts and not decoy and (a, b) not in self.pairs:
                    self.pairs.append((a, b))
                return g
        raise RuntimeError("no consistent group of kind %s found" % kind)

    def _precursors(self, g):
        rng = self.rng
        offset = g.offset or rng.uniform(-1.5, 1.5)
        g.mz = "%.5f" % ((mz_of(g.precursor, g.z2) + g.isotope * ISOTOPE / g.z2) * (1 + offset * 1e-6))
        g.header_mz = "%.4f" % float(g.mz) if g.no_parent else g.mz
        g.header = "%s %d" % (g.header_mz, g.z2)
        for s in g.scans:
            if s.fault == "peak":
                s.mz, s.hz = "%.5f" % rng.uniform(300.0, 1500.0), 2
            else:
                s.mz, s.hz = "%.5f" % mz_of(s.pep.frag(s.arm), s.z), s.z + (s.fault == "charge")

    def _ms2_peaks(self, g):
        """Signature peaks (and the peaks the MS3 scans were taken on), then noise kept away from every
        m/z that a test of the search or of the rescue spectrum generation looks for."""
        rng = self.rng
        wanted = [float(s.mz) for s in g.scans if s.fault == "peak"]
        omitted = float(g.scans[g.omit].mz) if g.omit is not None else None
        for mz, key, arm in g.fragments():
            if omitted is None or abs(mz - omitted) > 1e-4:
                wanted.append(mz * (1 + rng.uniform(-2, 2) * 1e-6))
        if g.split is not None:
            wanted.append(float(g.scans[g.split].mz) * (1 + 9e-6))
        avoid = [float(s.mz) for s in g.scans] + [partner(g, s)[2] for s in g.scans]
        peaks = noise_peaks(rng, self.ms2_peaks, 150.0, 2000.0, avoid)
        peaks += [(m, rng.uniform(2e4, 9e5)) for m in wanted]
        peaks.sort()
        g.peaks = peaks


def noise_peaks(rng, n, lo, hi, avoid=(), tolerance=40):
    """n noise peaks (m/z, intensity), sorted, none within `tolerance` ppm of an m/z in `avoid`."""
    span = hi - lo
    mzs = sorted([lo + span * rng.random() for _ in range(n)])
    for f in avoid:
        if f > 0:
            i = bisect.bisect_left(mzs, f * (1 - tolerance * 1e-6))
            j = bisect.bisect_right(mzs, f * (1 + tolerance * 1e-6))
            del mzs[i:j]
    return [(m, 1e5 * rng.random() + 50.0) for m in mzs]

