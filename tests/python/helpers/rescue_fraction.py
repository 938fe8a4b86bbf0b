"""Synthetic fractions for the rescue spectrum generation (the module tests' input, also the
benchmark's): four MGF files whose MS3 groups exercise every branch (four-, three- and
two-scan groups, matching and mismatching pairs, partners found and missed, charges that come
out 0 or negative, scans without an own precursor, shared parents, titles with quotes and
non-ASCII text)."""
import random

PROTON = 1.007825


def mh(mz, z):
    return (mz - PROTON) * z + PROTON


def mz_of(mass, z):
    return (mass - PROTON) / z + PROTON


def _block(title, mz_text, charge, scan, peaks, complete=True):
    lines = ["BEGIN IONS", "TITLE=" + title] + ["PEPMASS=%s 1234.5" % mz_text] * (mz_text is not None)
    lines += ["CHARGE=%d+" % charge] * complete + ["RTINSECONDS=10", "SCANS=%d" % scan]
    return "\n".join(lines + ["%r %r" % p for p in peaks] + ["END IONS"]) + "\n"


def make_fraction(seed, n_groups, linker_dm=31.97207, linker_deficit=18.01056, peaks_per_scan=40):
    """Returns the texts of (deconvoluted MS2, MS2, MS3, own-precursor MS3)."""
    rng = random.Random(seed)
    ms2, deconv, ms3, own = [], [], [], []
    scan = rng.randint(1, 5)
    previous = None  # (header text, m/z text, charge) of the previous MS2 precursor
    for _ in range(n_groups):
        if previous is not None and rng.random() < 0.08:
            mz_text, z2 = previous  # two precursors alike: the nearer MS2 scan is the parent
        else:
            z2 = rng.choice([2, 3, 4, 4, 5])
            mz_text = repr(round(rng.uniform(500.0, 1300.0), rng.choice([4, 5, 6])))
        previous = (mz_text, z2)
        ms2_mass = mh(float(mz_text), z2)
        ms2_scan = scan
        scan += 1
        size = rng.choice([4, 4, 4, 3, 3, 2, 2, 1])
        fragments = []
        for i in range(size):
            z = rng.choice([1, 2, 2, 3, 3, 4, z2, z2 + 1])
            fragments.append([rng.uniform(400.0, 0.55 * ms2_mass), z])
        if size >= 2 and rng.random() < 0.5:  # arm forms of one peptide
            fragments[1][0] = fragments[0][0] + linker_dm * rng.choice([1.0, 1.0, 0.9, 1.1, 1.2, -1.0])
        if size == 4 and rng.random() < 0.5:
            fragments[3][0] = fragments[2][0] + linker_dm * rng.choice([1.0, -1.0, 0.0])
        if size >= 2 and rng.random() < 0.15:  # a pair that explains the precursor
            fragments[1][0] = ms2_mass - (fragments[0][0] + linker_deficit - PROTON) + rng.uniform(-0.05, 0.05) * 1e-3
        if size >= 2 and rng.random() < 0.1:
            fragments[1][0] = fragments[0][0]  # equal masses
        peaks = {round(rng.uniform(100.0, 2000.0), rng.choice([3, 4, 5])): round(rng.uniform(0, 1e5), rng.choice([0, 2, 7]))
                 for _ in range(peaks_per_scan)}
        # Peaks at the partners that pairs of this group derive, some just inside or outside 20 ppm.
        for i in range(size):
            for j in range(size):
                if i == j or rng.random() < 0.4:
                    continue
                m, z = fragments[i]
                charge = z2 - z or 1
                if charge == 0 or rng.random() < 0.3:
                    continue
                partner = mz_of(ms2_mass - ((m + linker_deficit) - PROTON), charge)
                if partner <= 0:
                    continue
                ppm = rng.choice([0.0, 5.0, -12.0, 19.9, -19.9, 20.2, -25.0])
                peaks[partner * (1 + ppm * 1e-6)] = 100.0
        if rng.random() < 0.03:
            peaks[0.0] = 5.0
        if rng.random() < 0.05:
            peaks = {}
        ms2_lines = list(peaks.items())
        rng.shuffle(ms2_lines)
        title = rng.choice(['run.%d.%d.%d' % (ms2_scan, ms2_scan, z2), 'Spëctrum "%d" π' % ms2_scan])
        # Sometimes the parent is missing, or numbered like the group's first MS3 scan, so that
        # only a group starting after that scan finds it.
        roll = rng.random()
        if roll < 0.12:
            ms2_scan = scan
        if roll > 0.04:
            ms2.append(_block(title, mz_text, z2, ms2_scan, ms2_lines))
        if rng.random() > 0.05:
            dpeaks = [(round(rng.uniform(50.0, 4000.0), 4), round(rng.uniform(0, 1e4), rng.choice([1, 5])))
                      for _ in range(rng.randint(0, peaks_per_scan))]
            if rng.random() < 0.2:
                dpeaks.append((500.0, 1e-05))
            deconv.append(_block(title, mz_text, 1, ms2_scan, dpeaks))
        parent_header_mz = mz_text if rng.random() > 0.03 else repr(float(mz_text) + 0.5)
        first = scan
        for i, (m, z) in enumerate(fragments):
            if i and rng.random() < 0.25:
                scan += rng.randint(1, 12)  # scans spread inside (or beyond) the window
            if i == size - 1 and size > 2 and rng.random() < 0.15:
                scan = max(scan, first + rng.choice([39, 40]))  # the window's last scan, or just past it
            s = scan
            scan += 1
            own_title = rng.choice(['ms3.%d.%d.%d' % (s, s, z), 'ms3 "q" %d é' % s, 'a=b'])
            ms3.append(_block(own_title, parent_header_mz, z2, s, []))
            roll = rng.random()
            if roll < 0.03:
                continue  # no own precursor
            own_mz = mz_of(m, z)
            own.append(_block(own_title, repr(own_mz), z, s, [], complete=roll > 0.05))
            if rng.random() < 0.05:  # a second block, a second header entry
                own.append(_block(own_title + "x", repr(own_mz + 0.5), rng.choice([1, 2, 3]), s, []))
        scan += rng.randint(0, 3)
    return "".join(deconv), "".join(ms2), "".join(ms3), "".join(own)


def write_fraction(folder, texts):
    paths = [folder / name for name, _ in zip(["deconv.mgf", "ms2.mgf", "ms3.mgf", "own.mgf"], texts)]
    for path, text in zip(paths, texts):
        path.write_text(text, encoding="utf-8")
    return [str(p) for p in paths]


NAME = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"

def run(V, paths, out, linker_dm=31.97207, linker_deficit=18.01056):
    getattr(V, NAME)(*paths, str(out), linker_dm, linker_deficit)
    return out.read_bytes()


def block(title, mz, z, scan, peaks=(), charge_line=True):
    lines = ["BEGIN IONS", "TITLE=" + title, "PEPMASS=%s" % mz] + ["CHARGE=%s+" % z] * charge_line
    return "\n".join(lines + ["SCANS=%d" % scan] + ["%s %s" % p for p in peaks] + ["END IONS", ""])


def fraction(tmp_path, ms2, ms3, own, deconv=()):
    return write_fraction(tmp_path, ["".join(deconv), "".join(ms2), "".join(ms3), "".join(own)])


def partner_mz(m, z_scan, ms2_mass=3000.0, ms2_z=4, deficit=50.0):
    return mz_of(ms2_mass - (m + deficit - PROTON), ms2_z - z_scan or 1)


MS2_MZ = mz_of(3000.0, 4)


def two_scan_fraction(tmp_path, m1=1000.0, m2=1031.0, z1=2, z2=2, ms2_peaks=((976.0, 1.0), (960.5, 1.0))):
    # The worked two-scan example: MS2 MH+ 3000.0 at charge 4, fragments 1000.0 and 1031.0 at
    # charge 2; with linker_dm 32.0 and linker_deficit 50.0 the partners are 976.007825 and 960.507825.
    return fraction(
        tmp_path, ms2=[block("p", repr(MS2_MZ), 4, 1233, ms2_peaks)],
        ms3=[block("m", repr(MS2_MZ), 4, s) for s in (1234, 1235)],
        own=[block('t "%d" é' % s, repr(mz_of(m, z)), z, s) for s, m, z in ((1234, m1, z1), (1235, m2, z2))],
        deconv=[block("d", "1", 1, 1233, ((175.11895, 1520.40625), (99.5, 1e-05), (1303.6551, 87.0), (120.08078, 311.5)))])
