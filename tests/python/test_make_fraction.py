"""tools/make_fraction.py: what the search's tests and the benchmarks rely on (the search's own
results against the manifest are test_find_XL_from_mgf's)."""
import subprocess
import sys

import Vombrelle1pt0_Submission as V
import make_fraction as gen

TINY = dict(ms1_peaks=40, ms2_peaks=30, deconv_peaks=10, ms3_peaks=8)


def test_same_seed_same_bytes_from_the_function_and_the_command_line(tmp_path):
    gen.make_fraction(tmp_path / "a", seed=5, groups=12, **TINY)
    options = ["--%s=%d" % (k.replace("_", "-"), v) for k, v in TINY.items()]
    subprocess.run([sys.executable, gen.__file__, str(tmp_path / "b"), "--seed", "5", "--groups", "12"] + options,
                   check=True, capture_output=True)
    for name in gen.FILES.values():
        assert (tmp_path / "a" / name).read_bytes() == (tmp_path / "b" / name).read_bytes(), name


def test_every_kind_in_scan_order_and_the_rescue_spectra_it_expects(fraction_factory, tmp_path):
    f = fraction_factory(seed=3, groups=len(gen.KINDS) + 20)
    assert set(f.manifest["kinds"]) == set(gen.KINDS) and any(g["decoy"] for g in f.groups())
    assert all(g["scans"] == sorted(g["scans"]) and g["scans"][0] > g["ms2_scan"] for g in f.groups())
    call = dict(f.arguments("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"), spec_file=str(tmp_path / "r"))
    V.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(**call)
    written = [line[6:] for line in (tmp_path / "r").read_text().splitlines() if line.startswith("SCANS=")]
    assert written == [x for g in f.groups() for x in g["expect"]["rescue_spectra"]]


def test_tables_without_q_values_make_medium_records(fraction_factory):
    f = fraction_factory(seed=2, groups={"four_tier1_high": 2, "four_rescue_tier1": 1}, qvalues_ms3=False,
                         qvalues_rescue=False)
    for name in ("psm_ms3.tsv", "psm_rescue.tsv"):
        assert "Percolator q-Value" not in (f.folder / name).read_text().splitlines()[0]
    # High PSMs read 0.99 then, in the medium band.
    assert [t.split("\t")[0] for t in V.find_XL_from_mgf(**f.arguments())] == ["Medium"] * 3
