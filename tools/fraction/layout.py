"""Acquisition order: scan numbers for MS1 cycles, group events and noise events, written to the
files' text as they are numbered."""
from .checks import noise_peaks, partner
from .chemistry import OTHER, Psm


class Acquisition:
    """Numbers scans from 1: an MS1 scan opens each cycle of up to top_n precursor events; an event is
    an MS2 scan and its MS3 scans. The MS1 scan's envelopes are written when its cycle closes."""

    def __init__(self, rng, writer, proteome, headers, top_n, ms1_peaks, ms2_peaks):
        self.rng, self.writer, self.proteome, self.headers = rng, writer, proteome, headers
        self.top_n, self.ms1_peaks, self.ms2_peaks = top_n, ms1_peaks, ms2_peaks
        self.scan, self.events, self.cycle = 0, top_n, None
        self.noise_ms2, self.noise_ms3, self.ms1_scans = [], [], []

    def _next(self):
        self.scan += 1
        return self.scan

    def _slot(self):
        """A precursor event's place in a cycle, opening a new cycle when this one is full."""
        if self.events >= self.top_n:
            self.close()
            self.cycle, self.events = (self._next(), []), 0
        self.events += 1

    def close(self):
        if self.cycle is not None:
            self.ms1_scans.append(self.cycle[0])
            self.writer.ms1_scan(self.cycle[0], self.cycle[1], self.ms1_peaks)
            self.cycle = None

    def noise(self, with_ms3):
        """An MS2 scan of a precursor of its own, alone or with one MS3 scan (which never groups)."""
        rng, writer = self.rng, self.writer
        self._slot()
        scan = self._next()
        while True:
            z = rng.choice([2, 3, 3, 4, 5])
            mz = "%.5f" % rng.uniform(400.0, 1500.0)
            if "%s %d" % (mz, z) not in self.headers:
                break
        self.headers.add("%s %d" % (mz, z))
        writer.ms2_scan(scan, mz, z, noise_peaks(rng, self.ms2_peaks, 150.0, 2000.0))
        self.cycle[1].append((mz, z, 0, "normal", None))
        self.noise_ms2.append(scan)
        if with_ms3:
            s3 = self._next()
            own_z = rng.choice([1, 2, 2, 3])
            own = "%.5f" % rng.uniform(300.0, 1500.0)
            writer.ms3_scan(s3, mz, z, own, own_z)
            self.noise_ms3.append(s3)
            if rng.random() < 0.5:  # a linear or linked PSM of a scan that no group holds
                pep = self.proteome.linear()
                psm = Psm(rng, rng.choice("HML"), pep, rng.choice(["short", "long"]) if "k" in pep.seq else None)
                writer.psm("ms3", psm, s3, float(own), own_z, "MS3")

    def group(self, g):
        writer = self.writer
        self._slot()
        g.ms1_scan, g.ms2 = self.cycle[0], self._next()
        self.cycle[1].append((g.mz, g.z2, g.isotope, g.ms1, g))
        writer.ms2_scan(g.ms2, g.mz, g.z2, g.peaks,
                        (g.a.frag("short"), g.a.frag("long"), g.b.frag("short"), g.b.frag("long")))
        for i, s in enumerate(g.scans):
            if g.spread == i:
                self.events -= 1  # the inserted event shares the group's place, so no MS1 scan splits the group
                self.noise(True)
            s.number = self._next()
            writer.ms3_scan(s.number, g.header_mz, g.z2, s.mz, s.hz)
            for p in s.psms:
                writer.psm("ms3", p, s.number, float(s.mz), s.hz, "MS3")


def rescue_table(writer, built):
    """The rescue PSM rows, in label order: each rescue spectrum's precursor is the partner derived from
    the A scan that carries the other arm."""
    rows = {}
    for g in built:
        for label, psms in g.rescue:
            rows[label([s.number for s in g.scans])] = (g, psms)
    for n in sorted(rows):
        g, psms = rows[n]
        for p in psms:
            _, charge, mz = partner(g, next(s for s in g.scans if s.key == "A" and s.arm == OTHER[p.arm]))
            writer.psm("rescue", p, n, mz, charge, "MS2")
