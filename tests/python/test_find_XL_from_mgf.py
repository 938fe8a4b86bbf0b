"""find_XL_from_mgf as a driver calls it, on generated fractions: the whole returned map against what
the generator's manifest and PSM tables say, each function it calls by name rebound, bad inputs."""
import copy
import csv
import hashlib
import shutil
import zipfile
from collections import defaultdict

import pytest

import make_fraction as gen

H = 1.007825


def mh(mz, z):
    return (float(mz) - H) * int(z) + H


def psm_rows(path):
    """(scan, sequence) -> the table's last row for them, read with the csv module."""
    with open(path, newline="") as f:
        return {(int(r["First Scan"]), r["Annotated Sequence"]): r for r in csv.DictReader(f, delimiter="\t")}


def expected(fraction, rescue=True):
    """(group, record text) of what the search stores for a fraction, in order (a group's rescued
    records, then its own), derived from its manifest and its PSM tables."""
    ms3, rescued = (psm_rows(fraction.folder / name) for name in ("psm_ms3.tsv", "psm_rescue.tsv"))

    def proteins(table, scans, seq):
        (found,) = {(table[s, seq]["Protein Accessions"], table[s, seq]["Protein Descriptions"])
                    for s in scans if (s, seq) in table}
        return found

    def record(r, mass, z, mz, a, b):
        return "\t".join([r["class"], r["letters"], r["scans"], repr(mass), str(z), repr(mz), r["peptide_a"], *a,
                          r["peptide_b"], *b, r["remarks"]])
    out = []
    for g in fraction.groups():
        e, z = g["expect"], g["precursor"]["charge"]
        labels = [int(float(x)) for x in e["rescue_spectra"]]
        for r in e["rescue_records"] if rescue else []:
            mass = mh(g["precursor"]["mz"], z)  # the rescue writes the m/z it derives from the MH+
            out.append((g, record(r, mass, z, (mass - H) / z + H, proteins(ms3, g["scans"], r["peptide_a"]),
                                  proteins(rescued, labels, r["peptide_b"]))))
        if e["record"]:
            r, mz = e["record"], float(e.get("derived_mz") or g["precursor"]["mz"])
            sides = [proteins(ms3, g["scans"], r[p]) for p in ("peptide_a", "peptide_b")]
            out.append((g, record(r, mh(mz, z), z, mz, *sides)))
    return out


def keys(fraction, rescue=True):
    return [text for _, text in expected(fraction, rescue)]


@pytest.fixture(scope="module")
def mixed(fraction_factory):
    """Every kind at least once: four-, three- and two-scan groups mixed, decoys, rescues."""
    return fraction_factory(seed=3, groups=len(gen.KINDS) + 20)


@pytest.fixture(scope="module")
def rescues(fraction_factory):
    """Groups handed to the rescues after groups whose lookups insert entries into the tables."""
    return fraction_factory(seed=5, groups={k: 2 for k in ("four_tier1_high", "four_tier1_medium", "four_rescue_tier1",
                                                          "two_rescue", "four_isotope_located", "four_cleared")})


@pytest.fixture(scope="module")
def native(mixed, rescues):
    """The maps of the module's own search, as lists of items."""
    import Vombrelle1pt0_Submission as V
    return {id(f): list(V.find_XL_from_mgf(**f.arguments()).items()) for f in (mixed, rescues)}


def search(mod, fraction, **changes):
    return mod.find_XL_from_mgf(**{**fraction.arguments(), **changes})


@pytest.mark.parametrize("by_name", [True, False])
def test_the_whole_map_is_the_manifests_records_in_order(mod, mixed, by_name, capsys):
    args = mixed.arguments()
    result = mod.find_XL_from_mgf(**args) if by_name else mod.find_XL_from_mgf(*args.values())
    assert type(result) is defaultdict and result.default_factory is str
    records = expected(mixed)
    assert list(result) == [text for _, text in records]
    assert {g["size"] for g, _ in records} == {2, 3, 4} and any(g["expect"]["rescue_records"] for g, _ in records)
    for text, score in result.items():
        assert type(score) is (int if text.startswith("MS2_MedLow\t") else float) and score >= 0, text
    # The scores, each checked once against the sum of its q-values that the record's class asks for.
    assert hashlib.sha256(repr(list(result.values())).encode()).hexdigest()[:16] == "73e811f9e83bb656"
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("switch", ["NO", "yes"])
def test_without_the_ms2_search_rescue_only_the_groups_own_records(mod, mixed, switch):
    mod.Rescue_PrecMismatch_XLs = None  # a call would fail
    assert list(search(mod, mixed, MS2_Rescue=switch)) == keys(mixed, rescue=False)


@pytest.mark.parametrize("answer", ["own", "copies"])
def test_readers_rebound_are_called_in_order_and_their_results_searched(mod, mixed, native, answer):
    calls = []

    def rebind(name, own):
        def reader(*args):
            calls.append((name,) + args)
            result = own(*args)
            if answer == "own":
                return result
            # Equal tables of the same types; the PSM tables as a list, which unpacks alike.
            return list(copy.deepcopy(result)) if len(args) > 1 else copy.deepcopy(result)
        setattr(mod, name, reader)
    for name in ("read_ms_DtaZip", "read_PD_PSM_results_tsv_wrapper", "read_ms_Mgf"):
        rebind(name, getattr(mod, name))
    a = mixed.arguments()
    assert list(search(mod, mixed).items()) == native[id(mixed)]
    psm = tuple(a[k] for k in ("uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
                               "linker_Short_name_SEQUEST"))
    assert calls == [("read_ms_DtaZip", a["MS1_file_path"])] + [
        ("read_PD_PSM_results_tsv_wrapper", a[k]) + psm for k in ("PD_result_path", "MS2_PD_result_path")] + [
        ("read_ms_Mgf", a[k]) for k in ("MS3_file_path", "msn_1_MS3_path", "MS2_file_path")]


def test_rebound_callees_get_the_rebound_readers_tables(mod, rescues, native):
    made, seen = {}, {"dispatcher": [], "precursor": []}
    for name in ("read_ms_DtaZip", "read_PD_PSM_results_tsv_wrapper"):
        own = getattr(mod, name)
        setattr(mod, name, lambda *a, own=own, name=name: made.setdefault(name, []).append(own(*a)) or made[name][-1])
    own_dispatcher, own_precursor = mod.Rescue_PrecMismatch_XLs, mod.RescuePrecMass
    mod.Rescue_PrecMismatch_XLs = lambda *a: seen["dispatcher"].append(a[12:18]) or own_dispatcher(*a)
    mod.RescuePrecMass = lambda *a: seen["precursor"].append((a[8], a[13])) or own_precursor(*a)
    assert list(search(mod, rescues).items()) == native[id(rescues)]
    ms3, rescue = made["read_PD_PSM_results_tsv_wrapper"]
    assert seen["dispatcher"] and all(all(x is y for x, y in zip(t, ms3 + rescue)) for t in seen["dispatcher"])
    assert seen["precursor"] and all(m is made["read_ms_DtaZip"][0] and t is ms3[1] for m, t in seen["precursor"])


@pytest.mark.parametrize("answer, error, message", [
    (lambda t: t[:2], ValueError, "not enough values to unpack (expected 3, got 2)"),
    (lambda t: t + t[:1], ValueError, "too many values to unpack (expected 3)"),
    (lambda t: (t[0], 5, t[2]), TypeError, "read_PD_PSM_results_tsv_wrapper() returned int, not a PSM table"),
])
def test_the_psm_wrappers_result_must_hold_three_tables(mod, mixed, answer, error, message):
    own = mod.read_PD_PSM_results_tsv_wrapper
    mod.read_PD_PSM_results_tsv_wrapper = lambda *a: answer(own(*a))
    with pytest.raises(error) as info:
        search(mod, mixed)
    assert str(info.value) == message


def test_the_rescue_searchs_table_of_all_psms_is_never_read(mod, mixed, native):
    own, rescue_path = mod.read_PD_PSM_results_tsv_wrapper, mixed.arguments()["MS2_PD_result_path"]
    mod.read_PD_PSM_results_tsv_wrapper = lambda p, *a: own(p, *a)[:2] + (None,) if p == rescue_path else own(p, *a)
    assert list(search(mod, mixed).items()) == native[id(mixed)]


def test_uniq_rebound_is_called_for_every_joined_field(mod, mixed):
    own, lists = mod.uniq, []
    mod.uniq = lambda seq, idfun=None: lists.append(seq) or [
        s.upper() if s.startswith("Synthetic") else s for s in own(seq)]
    result = search(mod, mixed)
    assert lists and all(type(seq) is list and all(type(s) is str for s in seq) for seq in lists)
    upper = [[f.upper() if i in (8, 11) and f.startswith("Synthetic") else f for i, f in enumerate(t.split("\t"))]
             for t in keys(mixed)]
    assert list(result) == ["\t".join(f) for f in upper]
    mod.uniq = lambda seq, idfun=None: [1]
    with pytest.raises(TypeError, match=r"^uniq\(\) returned a list holding int, not str$"):
        search(mod, mixed)


def dispatcher_calls(fraction):
    """(spec_mode, scans, mass lists, group) of every MS2-search rescue call of the groups no pair explains. A
    four-scan group that stores no record of its own is grouped again from a2, as a three-scan group."""
    out = []
    for g in fraction.groups("four_rescue_tier1", "two_rescue", "four_isotope_located"):
        s, m = g["scans"], [[mh(*p.split())] for p in g["own_precursors"]]
        if g["size"] == 2:
            out.append((2, [s[0], s[1], s[0], s[1]], m + [[], []], g))
            continue
        out.append((4, s, m, g))
        if not g["expect"]["record"]:
            out.append((3, [s[1], s[2], s[2], s[3]], [m[1], m[2], m[2], m[3]], g))
    return sorted(out, key=lambda c: c[1][0])


def test_the_ms2_search_rescue_rebound_sees_the_groups_and_earlier_inserts(mod, rescues, native):
    own, calls = mod.Rescue_PrecMismatch_XLs, []

    def spy(*a):
        # Entries that the lookups of earlier groups inserted, as reads leave them.
        inserted = [{s: dict(e) for s, e in t.items() if not e.get("pep_seq")} for t in a[12:18]]
        calls.append((a, inserted))
        return own(*a)
    mod.Rescue_PrecMismatch_XLs = spy
    assert list(search(mod, rescues).items()) == native[id(rescues)]
    a = rescues.arguments()
    wanted = dispatcher_calls(rescues)
    assert [(c[0], list(c[5:9]), list(c[1:5])) for c, _ in calls] == [(m, s, lists) for m, s, lists, _ in wanted]
    for (c, inserted), (_, scans, _, g) in zip(calls, wanted):
        z = g["precursor"]["charge"]
        assert c[9:12] == (g["ms2_scan"], mh(g["precursor"]["mz"], z), z)
        assert c[18:] == (a["linker_mass"], a["linker_deficit"])
        assert all(x is y for x, y in zip(c[12:18], calls[0][0][12:18]))
        # The first tier reads b2 of a group whose b2 has only a Medium PSM.
        earlier = {h["scans"][3]: {"pep_seq": ""} for h in rescues.groups("four_tier1_medium")
                   if h["scans"][0] < scans[0]}
        assert inserted == [earlier, {}, {}, {}, {}, {}]
    assert any(inserted[0] for _, inserted in calls) and any(not inserted[0] for _, inserted in calls)


@pytest.mark.parametrize("name", ["Rescue_PrecMismatch_XLs", "RescuePrecMass"])
def test_a_scan_a_rebound_callee_reads_in_counts_for_later_groups(mod, mixed, native, name):
    # a2 of the MS2_MedLow group has only a Low PSM. Once a callee has read it from the High and
    # Medium table (argument 13 of both), the second tier finds a2 without sequences: no record.
    (g,) = mixed.groups("four_tier2_ms2medlow")
    own = getattr(mod, name)

    def callee(*a):
        a[13][g["scans"][1]]
        return own(*a)
    setattr(mod, name, callee)
    lost = [item for item in native[id(mixed)] if "\t%d:%d:%d:%d," % tuple(g["scans"]) in item[0]]
    assert lost and list(search(mod, mixed).items()) == [item for item in native[id(mixed)] if item not in lost]


@pytest.mark.parametrize("flag, stored", [(None, True), (1, True), ("True", False), (False, False)])
def test_the_precursor_rescue_rebound(mod, rescues, flag, stored):
    own, calls = mod.RescuePrecMass, []
    isotopes = {tuple(g["scans"]): g for g in rescues.groups("four_isotope_located")}

    def derived(g):
        # Its own derived m/z, with an MH+ the search would not compute from it (1 ppm more).
        mz = float(g["expect"]["derived_mz"])
        return mz, mh(mz, g["precursor"]["charge"]) * (1 + 1e-6)

    def rescue(*a):
        calls.append(a)
        return own(*a) if flag is None else (flag, "%r:%r" % derived(isotopes[a[:4]]), "remarks")
    mod.RescuePrecMass = rescue
    result = search(mod, rescues)
    assert [(c[:4], c[4:8], c[9:13]) for c in calls] == [
        (scans, tuple([mh(*p.split())] for p in g["own_precursors"]),
         (g["ms2_scan"], float(g["precursor"]["mz"]), mh(g["precursor"]["mz"], g["precursor"]["charge"]),
          g["precursor"]["charge"])) for scans, g in isotopes.items()]
    assert all(type(c[8]) is dict and c[14] == rescues.arguments()["linker_deficit"] for c in calls)
    mine = {s: t.split("\t")[3:6] for t in result for s in isotopes if t.split("\t")[2].startswith("%d:%d:%d:%d," % s)}
    if flag is None:
        assert list(result) == keys(rescues)
    elif stored:
        assert mine == {s: [repr(derived(g)[1]), str(g["precursor"]["charge"]), repr(derived(g)[0])]
                        for s, g in isotopes.items()}
    else:
        assert mine == {} and len(result) == len(keys(rescues)) - len(isotopes)


def test_a_selection_the_search_read_while_absent_is_in_the_table_a_rebound_callee_gets(mod, mixed, tmp_path):
    # a1 and a2 of the first four-scan group are made Medium, a1's only PSM Rejected: the second
    # tier reads a1's absent selection before the precursor rescue first gets the table.
    f = copied(mixed, tmp_path)
    a1, a2 = f.groups("four_tier1_high")[0]["scans"][:2]
    path = f.folder / "psm_ms3.tsv"
    lines = path.read_text().split("\n")
    for i, fields in enumerate(line.split("\t") for line in lines):
        if len(fields) > 20 and fields[20] in ('"%d"' % a1, '"%d"' % a2):
            fields[1] = '"Medium"'  # "Confidence"
            if fields[20] == '"%d"' % a1:
                fields[3] = '"Rejected"'  # "PSM Ambiguity"
            lines[i] = "\t".join(fields)
    path.write_text("\n".join(lines))
    own, seen = mod.RescuePrecMass, []
    mod.RescuePrecMass = lambda *a: seen.append(list(a[13][a1].items())) or own(*a)
    search(mod, f)
    assert seen and seen[0][-1] == ("selected_pep", "")


@pytest.mark.parametrize("name, switch, reached", [
    ("RescuePrecMass", "YES", True), ("Rescue_PrecMismatch_XLs", "YES", True), ("Rescue_PrecMismatch_XLs", "NO", False),
    ("Vombrelle_FindXLs_MS2Rescue", "YES", True), ("uniq", "NO", True), ("read_ms_Mgf", "NO", True),
    ("rescale_qval", "NO", True),
])
def test_a_deleted_callee_raises_name_error_when_reached(mod, rescues, name, switch, reached):
    delattr(mod, name)
    if not reached:
        assert len(search(mod, rescues, MS2_Rescue=switch)) == len(keys(rescues, rescue=False))
        return
    with pytest.raises(NameError, match="^name '%s' is not defined$" % name):
        search(mod, rescues, MS2_Rescue=switch)


@pytest.mark.parametrize("missing", [
    ["MS1_file_path"], ["MS2_file_path", "MS1_file_path"], ["MS3_file_path", "PD_result_path"],
    ["MS3_file_path", "MS2_PD_result_path"], ["msn_1_MS3_path"], ["MS2_file_path", "msn_1_MS3_path"],
])
def test_a_missing_file_is_named_the_first_in_reading_order(mod, rescues, tmp_path, missing):
    gone = {name: str(tmp_path / ("gone_" + name)) for name in missing}
    with pytest.raises(FileNotFoundError) as info:
        search(mod, rescues, **gone)
    assert info.value.filename == gone[missing[-1]]


def copied(fraction, tmp_path):
    shutil.copytree(fraction.folder, tmp_path / "f")
    return type(fraction)(tmp_path / "f", fraction.manifest)


@pytest.mark.parametrize("line, message", [
    ("CHARGE=+", "invalid literal for int() with base 10: '+'"),
    ("PEPMASS=x", "could not convert string to float: 'x'"),
])
def test_a_malformed_own_precursor_of_a_group_fails_the_call(mod, rescues, tmp_path, line, message):
    f = copied(rescues, tmp_path)
    path, scan = f.folder / "ms3_msn1.mgf", f.groups("four_tier1_high")[0]["scans"][1]
    text = path.read_text()
    at = text.index(line[:-1], text.rindex("BEGIN IONS", 0, text.index("SCANS=%d\n" % scan)))
    path.write_text(text[:at] + line + text[text.index("\n", at):])
    with pytest.raises(ValueError) as info:
        search(mod, f)
    assert str(info.value) == message


def test_scans_without_precursor_start_no_group(mod, rescues, native, tmp_path, capsys):
    # Four scans whose blocks never give a precursor (no PEPMASS) below an MS2 scan start no group.
    # A skipped archive member is printed, once.
    f = copied(rescues, tmp_path)
    last = max(s for g in f.groups() for s in g["scans"])
    for name, scans in (("ms2.mgf", [last + 10]), ("ms3.mgf", range(last + 11, last + 15)),
                        ("ms3_msn1.mgf", range(last + 11, last + 15))):
        with open(f.folder / name, "a") as out:
            out.writelines("BEGIN IONS\nTITLE=t\nCHARGE=2+\nSCANS=%d\n100.0 1.0\nEND IONS\n" % s for s in scans)
    with zipfile.ZipFile(f.folder / "ms1.dta.zip", "a") as z:
        z.writestr("notes.txt", "")
    assert list(search(mod, f).items()) == native[id(rescues)]
    assert capsys.readouterr().out == "notes.txt\n"
