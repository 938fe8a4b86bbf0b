"""tools/make_fraction.py: what the search's tests and the benchmarks rely on. The masses are checked
with the system's own arithmetic written out here, not with the generator's helpers."""
import itertools
import json
import pathlib
import subprocess
import sys

import pytest

import Vombrelle1pt0_Submission as V

TOOLS = pathlib.Path(__file__).resolve().parents[2] / "tools"
sys.path.insert(0, str(TOOLS))
import make_fraction as gen  # noqa: E402

H = 1.007825
TINY = dict(ms1_peaks=40, ms2_peaks=30, deconv_peaks=10, ms3_peaks=8)


def mh(mz, z):
    return (float(mz) - H) * int(z) + H


def ppm(a, b):
    return abs(a - b) / b * 1e6


@pytest.fixture(scope="module")
def fraction(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fraction")
    manifest = gen.make_fraction(folder, seed=3, groups=len(gen.KINDS) + 20, **TINY)
    args = gen.driver_arguments(folder)
    search = args["find_XL_from_mgf"]
    read = [search[k] for k in ("uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
                                "linker_Short_name_SEQUEST")]
    tables = {
        "ms1": V.read_ms_DtaZip(search["MS1_file_path"]),
        "ms2": V.read_ms_Mgf(search["MS2_file_path"]),
        "ms3": V.read_ms_Mgf(search["MS3_file_path"]),
        "msn1": V.read_ms_Mgf(search["msn_1_MS3_path"]),
        "deconv": V.read_ms_Mgf(args["Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"][
            "MS2_DeisoDeconv_file_path"]),
        "psm": V.read_PD_PSM_results_tsv_wrapper(search["PD_result_path"], *read),
        "rescue": V.read_PD_PSM_results_tsv_wrapper(search["MS2_PD_result_path"], *read)}
    return folder, manifest, args, tables


def groups(manifest, kind):
    found = [g for g in manifest["groups"] if g["kind"] == kind]
    assert found, kind
    return found


def own_masses(tables, g):
    return [mh(*tables["msn1"][s]["header"][0].split()) for s in g["scans"]]


def test_same_seed_same_bytes_from_the_function_and_the_command_line(tmp_path):
    gen.make_fraction(tmp_path / "a", seed=5, groups=12, **TINY)
    options = ["--%s=%d" % (k.replace("_", "-"), v) for k, v in TINY.items()]
    subprocess.run([sys.executable, str(TOOLS / "make_fraction.py"), str(tmp_path / "b"), "--seed", "5",
                    "--groups", "12"] + options, check=True, capture_output=True)
    gen.make_fraction(tmp_path / "c", seed=6, groups=12, **TINY)
    for name in gen.FILES.values():
        assert (tmp_path / "a" / name).read_bytes() == (tmp_path / "b" / name).read_bytes(), name
    assert (tmp_path / "a" / "ms2.mgf").read_bytes() != (tmp_path / "c" / "ms2.mgf").read_bytes()


def test_every_kind_occurs_once_at_least_on_scans_of_its_own(fraction):
    _, manifest, _, _ = fraction
    assert set(manifest["kinds"]) == set(gen.KINDS)
    scans = [s for g in manifest["groups"] for s in g["scans"] + [g["ms2_scan"], g["ms1_scan"]]]
    scans += manifest["noise"]["ms2_scans"] + manifest["noise"]["ms3_scans"]
    assert len(set(scans)) == len(scans) - len(manifest["groups"]) + len(set(manifest["ms1_scans"]))
    assert all(g["scans"] == sorted(g["scans"]) and g["scans"][0] > g["ms2_scan"] for g in manifest["groups"])
    assert any(g["decoy"] for g in manifest["groups"])


def test_readers_take_every_file_and_see_the_manifest(fraction, capsys):
    _, manifest, _, t = fraction
    assert capsys.readouterr().out == ""  # no archive member was skipped
    assert sorted(t["ms1"]) == manifest["ms1_scans"]
    assert sorted(t["ms2"]) == sorted(t["deconv"])
    for g in manifest["groups"]:
        assert [t["ms3"][s]["header"] for s in g["scans"]] == [[g["precursor"]["header"]]] * g["size"]
        assert [t["msn1"][s]["header"][0] for s in g["scans"]] == g["own_precursors"]
        has_parent = t["ms2"][g["ms2_scan"]]["header"] == [g["precursor"]["header"]]
        assert has_parent != (g["kind"] == "four_no_parent")
    labels = {int(float(x)) for g in manifest["groups"] for x in g["expect"]["rescue_spectra"]}
    assert set(t["rescue"][2]) == labels


def test_rescue_spectrum_generation_writes_the_labels_the_manifest_expects(fraction, tmp_path):
    _, manifest, args, _ = fraction
    call = dict(args["Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"], spec_file=str(tmp_path / "r.mgf"))
    V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(**call)
    written = [line[6:] for line in (tmp_path / "r.mgf").read_text().splitlines() if line.startswith("SCANS=")]
    assert written == [x for g in manifest["groups"] for x in g["expect"]["rescue_spectra"]]


def test_psm_masses_are_the_sequences_masses(fraction):
    _, manifest, args, t = fraction
    mass, mod = args["filter_pep_pair"]["mass_dict"], args["filter_pep_pair"]["mod_dict"]
    checked = 0
    for entry in t["psm"][2].values():
        for seq in entry["pep_seq"]:
            if seq in (g["peptide_a"] for g in manifest["groups"]):
                theo = sum(mass[c] for c in seq) + 3 * mod["mm_H"] + mod["mm_O"]
                checked += ppm(entry[seq]["pep_mass"], theo) < 0.1 or entry[seq]["confidence"] != "High"
    assert checked > 50


def test_pairs_explain_the_precursor_where_the_kind_says_so(fraction):
    _, manifest, args, t = fraction
    deficit, dm = args["find_XL_from_mgf"]["linker_deficit"], args["find_XL_from_mgf"]["linker_dm"]

    def matching(g):
        masses, ms2 = own_masses(t, g), mh(*t["ms2"][g["ms2_scan"]]["header"][0].split())
        return [(i, j) for i, j in itertools.combinations(range(len(masses)), 2)
                if ppm(masses[i] + masses[j] + deficit - H, ms2) <= 20]

    for g in groups(manifest, "four_tier1_high") + groups(manifest, "two_hetero"):
        assert len(matching(g)) == g["size"] // 2
    for kind in ("four_rescue_tier1", "three_rescue", "two_rescue", "four_isotope_located"):
        assert all(not matching(g) for g in groups(manifest, kind))
    for g in groups(manifest, "three_scan2_a") + groups(manifest, "three_scan2_b"):
        m = own_masses(t, g)
        pair = (m[0], m[1]) if g["kind"] == "three_scan2_a" else (m[2], m[1])
        assert abs(abs(pair[0] - pair[1]) - dm) / dm * 1e6 <= 20
    for g in groups(manifest, "two_rescue"):
        m = own_masses(t, g)
        assert abs(abs(m[0] - m[1]) - dm) / dm <= 0.1


def test_signature_peaks_and_rescue_partners_are_in_the_ms2_scan(fraction):
    _, manifest, args, t = fraction
    deficit, linker = args["find_XL_from_mgf"]["linker_deficit"], args["find_XL_from_mgf"]["linker_mass"]

    def present(scan, mz):
        return any(ppm(mz, peak) <= 20 for peak in t["ms2"][scan]["ion_mass"])

    for g in groups(manifest, "four_tier1_high"):
        assert all(present(g["ms2_scan"], float(p.split()[0])) for p in g["own_precursors"])
    missing = groups(manifest, "four_signature_missing")[0]
    assert not present(missing["ms2_scan"], float(missing["own_precursors"][0].split()[0]))
    for g in groups(manifest, "four_rescue_tier1"):
        z2 = g["precursor"]["charge"]
        ms2 = mh(g["precursor"]["mz"], z2)
        for a in g["scans"][:2]:  # the partner of each A scan, and B's rescue PSM that pairs with A
            own_mz, own_z = t["msn1"][a]["header"][0].split()
            partner = ms2 - ((mh(own_mz, own_z) + deficit) - H)
            assert present(g["ms2_scan"], (partner - H) / (z2 - int(own_z)) + H)
        a_mass = t["psm"][0][g["scans"][0]][g["peptide_a"]]["pep_mass"]
        for b in g["scans"][2:]:
            assert ppm(a_mass + t["rescue"][0][b][g["peptide_b"]]["pep_mass"] + linker - H, ms2) <= 20


def test_isotope_kinds_find_the_precursor_and_the_monoisotopic_peak_as_designed(fraction):
    _, manifest, _, t = fraction
    for kind, located in (("four_isotope_located", True), ("four_isotope_not_located", False),
                          ("four_isotope_downstream", True), ("four_isotope_no_ms1", None)):
        for g in groups(manifest, kind):
            peaks = t["ms1"][g["ms1_scan"]]["ion_mass"]
            p = g["precursor"]
            assert (float(p["mz"]) in peaks) == (located is not None)
            expected = float(p["mz"]) + round(-float(p["isotope_error"]) / p["charge"], 5)
            near = [m for m in peaks if ppm(m, expected) * expected / m <= 15]
            if located is not None:
                assert [repr(m) for m in near[:1]] == ([g["expect"]["derived_mz"]] if located else [])


def test_recheck_expectations_follow_the_sequences(fraction):
    _, manifest, args, t = fraction
    fp = args["filter_pep_pair"]
    mass, mod = fp["mass_dict"], fp["mod_dict"]

    def pep(seq):
        return round(sum(mass[c] for c in seq) + mod["mm_H"] * 2 + mod["mm_O"] + mod["mm_H"], 5)

    seen = set()
    for g in manifest["groups"]:
        record = g["expect"]["record"]
        if record and not g["expect"]["precursor_rescue"]:
            ms2 = mh(*t["ms2"][g["ms2_scan"]]["header"][0].split())
            error = ppm(ms2, pep(record["peptide_a"]) + pep(record["peptide_b"]) + fp["linker_mass"] - mod["mm_H"])
            assert (error <= fp["prec_tol_ppm"]) == (record["recheck"] == "kept"), g["kind"]
            seen.add(record["recheck"])
    assert seen == {"kept", "dropped"}


def test_decoys_and_c_terminal_peptides(fraction):
    _, manifest, args, t = fraction
    uniprot = args["find_XL_from_mgf"]["uniprot_dict"]
    for g in manifest["groups"]:
        for side in ("a", "b"):
            accessions = [a.strip() for a in g["proteins_" + side].split(";")]
            assert all(a in uniprot for a in accessions)
            assert bool(g["decoy"] and side.upper() in g["decoy"]) == all(a.startswith("random") for a in accessions)
    g = groups(manifest, "four_cterm")[0]
    assert uniprot[g["proteins_b"]].endswith(g["peptide_b"].upper())
    g = groups(manifest, "two_cterm_dropped")[0]
    assert g["scans"][1] not in t["psm"][2]


def test_tables_without_q_values(tmp_path):
    gen.make_fraction(tmp_path, seed=2, groups={"four_tier1_high": 2, "four_rescue_tier1": 1},
                      qvalues_ms3=False, qvalues_rescue=False, **TINY)
    manifest_classes = []
    for name in ("psm_ms3.tsv", "psm_rescue.tsv"):
        assert "Percolator q-Value" not in (tmp_path / name).read_text().splitlines()[0]
    manifest = json.loads((tmp_path / "manifest.json").read_text())
    for g in manifest["groups"]:
        e = g["expect"]
        manifest_classes += [r["class"] for r in ([e["record"]] if e["record"] else []) + e["rescue_records"]]
    assert manifest_classes == ["Medium"] * 3  # High PSMs read 0.99, in the medium band
