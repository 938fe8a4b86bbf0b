"""The kinds of MS3 groups a fraction holds: how each is built (which fragment every MS3 scan is, its
own precursor, its PSMs, the rescue PSMs of its rescue spectra) and what the system is meant to make
of it (expect). make_fraction.py's documentation describes every kind."""
from .chemistry import LINKER_MASS, OTHER, PREC_TOL_PPM, PROTON, Psm, mh_of, mz_of


class Scan:
    """One MS3 scan of a group: which fragment it is, its own precursor as written, its PSMs."""
    __slots__ = ("pep", "key", "arm", "z", "fault", "psms", "mz", "hz", "number")

    def __init__(self, pep, key, arm, z, fault, psms):
        self.pep, self.key, self.arm, self.z, self.fault, self.psms = pep, key, arm, z, fault, psms
        self.number = None

    @property
    def mh(self):
        return mh_of(float(self.mz), self.hz)

    def role(self):
        text = "%s %s" % (self.key, self.arm) if self.fault != "peak" else self.key
        return text + {None: "", "charge": " (wrong charge)", "peak": " (wrong peak)"}[self.fault]


class Group:
    """One MS3 group: its two peptides (the same one twice for a homodimer), the charges of the
    precursor and of A's and B's fragments, its MS3 scans in scan order, and what is off about it."""

    def __init__(self, kind, a, b, z2, za, zb):
        self.kind, self.a, self.b, self.z2, self.za, self.zb = kind, a, b, z2, za, zb
        self.size, self.label = KINDS[kind][:2]
        self.scans = []
        self.isotope, self.offset, self.ms1 = 0, 0.0, "normal"
        self.no_parent, self.b_absent, self.decoy = False, False, False
        self.omit, self.split = None, None  # scan index without a signature peak / with two
        self.spread = None  # index of the scan a noise event goes before
        self.rescue = []  # (label function of the scan numbers, [Psm])
        self.other = None  # the wrong peptide a scan is identified as, when the record carries it
        self.mz = self.header_mz = None
        self.ms2 = self.ms1_scan = None
        self.peaks = []

    def add(self, key, arm, psms=(), fault=None, z=None):
        pep = self.a if key == "A" else self.b
        self.scans.append(Scan(pep, key, arm, z or (self.za if key == "A" else self.zb), fault, list(psms)))

    @property
    def precursor(self):  # true MH+
        return self.a.mh + self.b.mh + LINKER_MASS - PROTON

    @property
    def ms2_mh(self):  # measured MH+, from the text
        return mh_of(float(self.mz), self.z2)

    def fragments(self):
        """Signature fragments in the MS2 scan: (m/z, key, arm)."""
        out = []
        for key, pep, z in (("A", self.a, self.za), ("B", self.b, self.zb)):
            if key == "B" and self.b_absent:
                continue
            for arm in ("short", "long"):
                out.append((mz_of(pep.frag(arm), z), key, arm))
        return out


def _psm(rng, code, pep, arm, ambiguity="Unambiguous"):
    return [Psm(rng, code, pep, arm, ambiguity)] if code and code != "." else []  # "." or None: no PSM


def _four(g, rng, codes, faults=(None,) * 4):
    arms = rng.sample(["short", "long"], 2) + rng.sample(["short", "long"], 2)
    for i, key in enumerate("AABB"):
        pep = g.a if key == "A" else g.b
        g.add(key, arms[i], _psm(rng, codes[i], pep, arms[i]), faults[i])


def _three(g, rng, codes, side, faults=(None,) * 3):
    """side "A": s1, s2 are A's arms, s3 is B; side "B": s1 is A, s2, s3 are B's arms."""
    two = rng.sample(["short", "long"], 2)
    lone = rng.choice(["short", "long"])
    layout = [("A", two[0]), ("A", two[1]), ("B", lone)] if side == "A" else \
        [("A", lone), ("B", two[0]), ("B", two[1])]
    for (key, arm), code, fault in zip(layout, codes, faults):
        g.add(key, arm, _psm(rng, code, g.a if key == "A" else g.b, arm), fault)


def _rescue_rows(g, rng, labels, codes, extra=None):
    """Rescue PSMs for the two written spectra: the first carries B's short arm, the second its long
    arm (the first scan written for a pair gets the short partner)."""
    for n, (label, code) in enumerate(zip(labels, codes)):
        arm = ("short", "long")[n]
        rows = _psm(rng, code, g.b, arm)
        if extra and n in extra:
            rows = extra[n](arm)
        if rows:
            g.rescue.append((label, rows))


def build_four_tier1_high(g, rng, ctx):
    _four(g, rng, "HHHH")
    if rng.random() < 0.3:  # a rejected second candidate on one scan changes nothing here
        s = rng.choice(g.scans)
        s.psms[0].ambiguity = "Selected"
        s.psms.append(Psm(rng, "L", ctx.proteome.linked(), s.arm, "Rejected"))


def build_four_tier1_medium(g, rng, ctx):
    _four(g, rng, ("H", "H", "H1", "M"))


def build_four_tier2_medium(g, rng, ctx):
    _four(g, rng, "MMHH")


def build_four_tier2_low(g, rng, ctx):
    _four(g, rng, ("M5", "M5", "M", "M"))


def build_four_tier2_ms2medlow(g, rng, ctx):
    _four(g, rng, ("M5", "L", "H", "H"))


def build_four_tier3(g, rng, ctx):
    _four(g, rng, "LLLL")


def build_four_disagree_tier2(g, rng, ctx):
    _four(g, rng, "HHHH")
    a2 = g.scans[1]
    a2.psms = [Psm(rng, "H", ctx.other(g), a2.arm, "Selected"), Psm(rng, "M", g.a, a2.arm, "Rejected")]


def build_four_disagree_reformed(g, rng, ctx):
    _four(g, rng, "HHHH")
    a2 = g.scans[1]
    g.other = ctx.other(g)
    a2.psms = [Psm(rng, "H", g.other, a2.arm)]


def build_four_cleared(g, rng, ctx):
    x = rng.choice(["short", "long"])
    g.add("A", x, _psm(rng, "H", g.a, x))
    g.add("A", OTHER[x], _psm(rng, "H", g.a, OTHER[x]))
    g.add("B", x, fault="charge")
    g.add("B", OTHER[x], _psm(rng, "H", g.b, OTHER[x]))


def build_four_signature_missing(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.omit = 0


def build_four_isotope_located(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.isotope, g.ms1 = rng.choice([1, 1, 2, 3]), "located"


def build_four_isotope_not_located(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.isotope, g.ms1 = rng.choice([1, 2]), "not_located"


def build_four_isotope_downstream(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.isotope, g.ms1 = -1, "located"


def build_four_isotope_no_ms1(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.isotope, g.ms1 = rng.choice([1, 2]), "absent"


def _four_rescue(g, rng, ms3_codes, rescue_codes, extra=None):
    """B's two MS3 scans took a wrong charge (so no PSM); B is identified in their rescue spectra."""
    _four(g, rng, tuple(ms3_codes) + (None, None), (None, None, "charge", "charge"))
    _rescue_rows(g, rng, [lambda s: s[2], lambda s: s[3]], rescue_codes, extra)


def build_four_rescue_tier1(g, rng, ctx):
    _four_rescue(g, rng, "HH", ("H", "H"))


def build_four_rescue_tier2(g, rng, ctx):
    _four_rescue(g, rng, "HH", ("M", "M"))


def build_four_rescue_low(g, rng, ctx):
    _four_rescue(g, rng, ("M5", "M5"), ("M5", "M5"))


def build_four_rescue_very_low(g, rng, ctx):
    _four_rescue(g, rng, "HH", ("M5", "L"))


def build_four_rescue_disagree(g, rng, ctx):
    other = ctx.other(g)
    _four_rescue(g, rng, "HH", ("H", "H"), {1: lambda arm: [Psm(rng, "H", other, arm, "Selected"),
                                                             Psm(rng, "M", g.b, arm, "Rejected")]})


def build_four_rescue_low_psms(g, rng, ctx):
    _four_rescue(g, rng, "HH", ("L", "L"))


def build_four_no_partner(g, rng, ctx):
    _four(g, rng, "HH..", (None, None, "peak", "peak"))
    g.b_absent = True


def build_four_no_parent(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.no_parent = True


def build_four_recheck_drop(g, rng, ctx):
    _four(g, rng, "HHHH")
    g.offset = rng.choice([-1, 1]) * rng.uniform(12.5, 14.0)


def build_four_cterm(g, rng, ctx):
    _four(g, rng, "HHHH")


def build_three_scan2_a(g, rng, ctx):
    _three(g, rng, "HHH", "A")


def build_three_scan2_b(g, rng, ctx):
    _three(g, rng, "HHH", "B")


def build_three_medium(g, rng, ctx):
    side = rng.choice("AB")
    _three(g, rng, "HHM" if side == "A" else "MHH", side)


def build_three_low(g, rng, ctx):
    side = rng.choice("AB")
    _three(g, rng, "HHL" if side == "A" else "LHH", side)


def _three_wrong_middle(g, rng, ctx, code):
    side = rng.choice("AB")
    _three(g, rng, "HHH", side)
    s2 = g.scans[1]
    s2.psms = [Psm(rng, code, ctx.other(g), s2.arm)]


def build_three_narrowing(g, rng, ctx):
    _three_wrong_middle(g, rng, ctx, "L")


def build_three_disagree(g, rng, ctx):
    _three_wrong_middle(g, rng, ctx, "H")


def build_three_both_arms(g, rng, ctx):
    x = rng.choice(["short", "long"])
    for arm in (x, OTHER[x], x):
        g.add("A", arm, _psm(rng, "H", g.a, arm))
    g.split = 1


def build_three_rescue(g, rng, ctx):
    _three(g, rng, "HH.", "A", (None, None, "charge"))
    _rescue_rows(g, rng, [lambda s: s[0] + 1000000, lambda s: s[1] + 1000000], ("H", "H"))


def _two(g, rng, codes):
    x = rng.choice(["short", "long"])
    g.add("A", x, _psm(rng, codes[0], g.a, x))
    key = "A" if g.b is g.a else "B"
    g.add(key, OTHER[x], _psm(rng, codes[1], g.b, OTHER[x]), z=g.zb)


def build_two_hetero(g, rng, ctx):
    _two(g, rng, "HH")


build_two_same = build_two_hetero


def build_two_medium(g, rng, ctx):
    _two(g, rng, rng.choice(["HM", "MH"]))


def build_two_low(g, rng, ctx):
    _two(g, rng, rng.choice(["HL", "LH"]))


def build_two_rescue(g, rng, ctx):
    x = rng.choice(["short", "long"])
    for arm in (x, OTHER[x]):
        g.add("A", arm, _psm(rng, "H", g.a, arm))
    _rescue_rows(g, rng, [lambda s: s[0], lambda s: s[1]], ("H", "H"))


def build_two_no_psm(g, rng, ctx):
    _two(g, rng, "H.")


build_two_cterm_dropped = build_two_hetero


# id: (size, label, weight, peptide pair options)
KINDS = {
    "four_tier1_high": (4, "four-scan, first tier, High", 14, {}),
    "four_tier1_medium": (4, "four-scan, first tier, Medium (b2 without a High PSM)", 3, {}),
    "four_tier2_medium": (4, "four-scan, second tier, Medium", 5, {}),
    "four_tier2_low": (4, "four-scan, second tier, Low", 2, {}),
    "four_tier2_ms2medlow": (4, "four-scan, second tier, MS2_MedLow (score 0)", 1, {}),
    "four_tier3": (4, "four-scan, third tier only: no record", 2, {}),
    "four_disagree_tier2": (4, "four-scan, disagreeing A arm scans, second tier (remark)", 2, {}),
    "four_disagree_reformed": (4, "four-scan, disagreeing A arm scans: no four-scan record; re-formed "
                                  "three-scan a2:b1:b2 with a2's wrong peptide, dropped by the re-check", 1, {}),
    "four_cleared": (4, "four-scan, b1 with a wrong charge: a2 and b1 cleared to 0 "
                        "(record for the first such group only)", 1, {}),
    "four_signature_missing": (4, "four-scan, a1's signature peak missing: no four-scan record; "
                                  "re-formed three-scan a2:b1:b2 stored", 1, {}),
    "four_isotope_located": (4, "isotope error -> precursor-mass rescue, peak located", 2, {}),
    "four_isotope_not_located": (4, "isotope error -> precursor-mass rescue, peak not located", 1, {}),
    "four_isotope_downstream": (4, "isotope error -1 -> precursor-mass rescue downstream, located", 1, {}),
    "four_isotope_no_ms1": (4, "isotope error, precursor m/z in no MS1 scan: dropped", 1, {}),
    "four_rescue_tier1": (4, "mismatch -> MS2-search rescue tier 1", 3, {}),
    "four_rescue_tier2": (4, "mismatch -> MS2-search rescue tier 2", 2, {}),
    "four_rescue_low": (4, "mismatch -> MS2-search rescue tier 2, Low", 1, {}),
    "four_rescue_very_low": (4, "mismatch -> MS2-search rescue tier 2, Very_low", 1, {}),
    "four_rescue_disagree": (4, "mismatch -> MS2-search rescue, disagreeing rescue arm scans (remark)", 1, {}),
    "four_rescue_low_psms": (4, "mismatch -> rescue spectra, only Low rescue PSMs: no record", 1, {}),
    "four_no_partner": (4, "mismatch, B taken on wrong peaks and absent from the MS2 scan: "
                           "no rescue spectra, no record", 1, {}),
    "four_no_parent": (4, "four-scan without a parent MS2 scan: dropped", 1, {}),
    "four_recheck_drop": (4, "four-scan, first tier, High, precursor 13 ppm off: dropped by the re-check", 1, {}),
    "four_cterm": (4, "four-scan, first tier, High, peptide B ends its protein with the linked lysine", 1,
                   {"cterm": True}),
    "three_scan2_a": (3, "three-scan, scan 2 with peptide A", 4, {}),
    "three_scan2_b": (3, "three-scan, scan 2 with peptide B", 4, {}),
    "three_medium": (3, "three-scan, Medium", 2, {}),
    "three_low": (3, "three-scan, Low (not stored)", 1, {}),
    "three_narrowing": (3, "three-scan, arm scans disagree, narrowing to High/Medium PSMs", 1, {}),
    "three_disagree": (3, "three-scan, arm scans disagree on High PSMs: dropped", 1, {}),
    "three_both_arms": (3, "three-scan, both arm tests hold (homodimer)", 1, {"homo": True}),
    "three_rescue": (3, "three-scan mismatch -> MS2-search rescue, two records (scans + 1000000)", 2, {}),
    "two_hetero": (2, "two-scan, different peptides", 4, {}),
    "two_same": (2, "two-scan, same sequence (doubled score)", 2, {"homo": True}),
    "two_medium": (2, "two-scan, Medium", 2, {}),
    "two_low": (2, "two-scan, Low (not stored)", 1, {}),
    "two_rescue": (2, "two-scan, both arms of peptide A -> MS2-search rescue (scan + 0.1)", 2, {}),
    "two_no_psm": (2, "two-scan, key + 1 without a PSM: dropped at the PSM gate", 1, {}),
    "two_cterm_dropped": (2, "two-scan, B's only linked lysine ends it inside its protein: "
                             "PSM dropped by the reader, group dropped", 1, {"inner_end": True}),
}
# Four-scan kinds whose group, after yielding nothing, is formed again from a2 as a2, b1, b2.
REFORMED = ("four_tier3", "four_signature_missing", "four_disagree_reformed")
DECOY_KINDS = ["four_tier2_medium", "four_tier1_medium", "three_medium", "two_medium", "four_rescue_tier2"]
MIXES = {"default": None, "four": [k for k in KINDS if k.startswith("four_")]}


# ---------------------------------------------------------------------------------------------
# What the system is meant to make of a group

def _band(v):
    return 18 if v > 0.99 else 8 if v > 0.95 else 3 if v > 0 else 0


def _count_class(qa, qb, lowest):
    """The class of the four-scan score and of the MS2-search rescue's score, from the q-values of
    each side's two scans (bands above 0.99, 0.95 and 0 give 18, 8 and 3 points)."""
    a, b = _band(qa[0]) + _band(qa[1]), _band(qb[0]) + _band(qb[1])
    if a >= 18 and b >= 18:
        return "High"
    if a >= 8 and b >= 8:
        return "Medium"
    if a >= 6 and b >= 6:
        return "Low"
    return lowest


def _max_class(qa, qb):
    """The class rule of three- and two-scan groups, from the best q-value of each side."""
    if qa > 0.99 and qb > 0.99:
        return "High"
    if qa > 0.95 and qb > 0.95:
        return "Medium"
    return "Low"


def _q(psm, with_q):
    return psm.qval(with_q) if psm else 0


def _record(scans, cls, slots, pep_a, pep_b, mh, remarks=""):
    """An expected record; the re-check recomputes the precursor from the two sequences."""
    error = abs(mh - (round(pep_a.mh, 5) + round(pep_b.mh, 5) + LINKER_MASS - PROTON)) / mh * 1e6
    return {"scans": scans, "class": cls, "letters": "".join(p.confidence[0] if p else "_" for p in slots),
            "peptide_a": pep_a.seq, "peptide_b": pep_b.seq, "remarks": remarks,
            "recheck": "kept" if error <= PREC_TOL_PPM else "dropped"}


def expect(g, settings):
    """The outcome the generator designed the group for (scan numbers assigned). Slots are the PSMs
    whose confidence and q-value the accepting step reads, in the order of the confidence letters."""
    q3, qr = settings["qvalues_ms3"], settings["qvalues_rescue"]
    s = [x.number for x in g.scans]
    p = [x.psms[0] if x.psms else None for x in g.scans]
    kind, mh, m2 = g.kind, g.ms2_mh, g.ms2
    out = {"record": None, "rescue_records": [], "rescue_spectra": [], "precursor_rescue": None}
    full = "%s,%s" % (":".join(map(str, s)), m2)

    def four(scans, slots, remarks="", mass=mh):
        cls = _count_class([_q(x, q3) for x in slots[:2]], [_q(x, q3) for x in slots[2:]], "MS2_MedLow")
        return _record(scans, cls, slots, g.a, g.b, mass, remarks)

    def rescued(scans, slots, remarks="MS2_Rescued_XL"):
        cls = _count_class([_q(x, q3) for x in slots[:2]], [_q(x, qr) for x in slots[2:]], "Very_low")
        return _record(scans, cls, slots, g.a, g.b, mh, remarks)

    def triple(scans, slots, pep_a, a2_side):  # slots a1 a2 b1 b2; scan 2 counts for A or for B
        cls = _max_class(max(_q(slots[0], q3), _q(slots[1], q3)), max(_q(slots[2], q3), _q(slots[3], q3)))
        letters = slots[:3] if a2_side else [slots[0], slots[2], slots[3]]
        return None if cls == "Low" else _record(scans, cls, letters, pep_a, g.b, mh)

    reformed = "%d:%d:%d,%d" % (s[1], s[2], s[3], m2) if g.size == 4 else None
    rows = [r for _, r in g.rescue]
    if kind in ("four_tier1_high", "four_tier2_medium", "four_tier2_low", "four_recheck_drop", "four_cterm"):
        out["record"] = four(full, p)
    elif kind == "four_tier1_medium":
        out["record"] = four(full, p[:3] + [None])
    elif kind == "four_tier2_ms2medlow":
        out["record"] = four(full, [p[0], None, p[2], p[3]])
    elif kind == "four_disagree_tier2":
        out["record"] = four(full, [p[0], g.scans[1].psms[1], p[2], p[3]], "different_pep_A_seqs")
    elif kind in REFORMED:
        # The group re-formed from a2: a2, b1, b2 with b1 (its scan 2) on peptide B's side.
        out["record"] = triple(reformed, [p[1], None, p[3], p[2]], g.other or g.a, False)
    elif kind == "four_cleared":
        out["record"] = four("%d:0:0:%d,%d" % (s[0], s[3], m2), [p[0], None, None, p[3]])
    elif kind.startswith("four_isotope") and g.ms1 != "absent":
        k = g.isotope
        mz = float(g.mono_text) if g.ms1 == "located" else float(g.mz) + round(-float(k) / g.z2, 5)
        out["precursor_rescue"] = "Derived_MS2mass_%s;%s search: %s" % (
            g.ms1, "Upstream" if k > 0 else "Downstream", float(k))
        out["derived_mz"] = repr(mz)
        out["record"] = four(full, p, mass=mh_of(mz, g.z2))
    elif kind.startswith("four_rescue"):
        out["rescue_spectra"] = [str(s[2]), str(s[3])]
        scans = "%d:%d:%r:%r,%d" % (s[0], s[1], s[2] + 0.1, s[3] + 0.1, m2)
        heard = [r[-1] if r[-1].confidence != "Low" else None for r in rows]  # tiers read High, Medium
        if kind == "four_rescue_disagree":
            out["rescue_records"] = [rescued(scans, p[:2] + heard, "different_pep_B_seqs;MS2_Rescued_XL")]
        elif kind != "four_rescue_low_psms":
            out["rescue_records"] = [rescued(scans, p[:2] + heard)]
    elif kind == "three_rescue":
        out["rescue_spectra"] = [str(s[0] + 1000000), str(s[1] + 1000000)]
        shifted = [repr((x + 1000000) + 0.1) for x in s]
        out["rescue_records"] = [
            rescued("%d:%d:%s:%s,%d" % (s[0], s[1], shifted[1], shifted[2], m2), [p[0], p[1], rows[1][0], None]),
            rescued("%d:%d:%s:%s,%d" % (s[1], s[2], shifted[0], shifted[1], m2), [p[1], None, rows[0][0], rows[1][0]])]
    elif g.size == 3 and kind != "three_disagree":
        if kind == "three_narrowing":
            p[1] = None  # scan 2's other peptide is not the candidate: its slot stays unread
        if g.scans[1].key == "A":
            out["record"] = triple(full, p + [p[1] if kind == "three_both_arms" else None], g.a, True)
        else:
            out["record"] = triple(full, [p[0], None, p[2], p[1]], g.a, False)
    elif kind == "two_rescue":
        out["rescue_spectra"] = [repr(s[0] + 0.1), repr(s[1] + 0.1)]
        out["rescue_records"] = [rescued("%d:%d:%r:%r,%d" % (s[0], s[1], s[0] + 0.1, s[1] + 0.1, m2),
                                         p + [r[0] for r in rows])]
    elif kind in ("two_hetero", "two_same", "two_medium", "two_low"):
        cls = _max_class(_q(p[0], q3), _q(p[1], q3))
        out["record"] = None if cls == "Low" else _record(full, cls, p, g.a, g.b, mh)
    return out

