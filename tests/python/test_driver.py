"""examples/xl_driver.py: the main job's script, run as a user runs it, on small generated fractions."""
import io
import json
import pathlib
import random
import shutil
import subprocess
import sys

import pytest

import Vombrelle1pt0_Submission as V

ROOT = pathlib.Path(__file__).resolve().parents[2]
DRIVER = ROOT / "examples" / "xl_driver.py"
sys.path.insert(0, str(ROOT / "tools"))
sys.path.insert(0, str(DRIVER.parent))
import make_fraction as gen  # noqa: E402
import xl_driver  # noqa: E402

TINY = dict(ms1_peaks=40, ms2_peaks=30, deconv_peaks=10, ms3_peaks=8)
H = 1.007825


@pytest.fixture(scope="module")
def fractions(tmp_path_factory):
    """Two fractions alike but for their labels, so every peptide pair recurs across them."""
    made = {}
    for label in ("F1", "F2"):
        folder = tmp_path_factory.mktemp(label)
        made[label] = (folder, gen.make_fraction(folder, seed=3, groups=len(gen.KINDS) + 20, fraction=label, **TINY))
    return made


def run_script(*args, cwd=None):
    done = subprocess.run([sys.executable, str(DRIVER), *map(str, args)], capture_output=True, text=True, cwd=cwd)
    return done.returncode, done.stdout, done.stderr


def expected_records(manifest):
    """The records the manifest says the search stores, as (group, record) pairs."""
    return [(g, r) for g in manifest["groups"]
            for r in ([g["expect"]["record"]] if g["expect"]["record"] else []) + g["expect"]["rescue_records"]]


def stand_in_search(manifest):
    """find_XL_from_mgf's result as the manifest describes it; scores are the stand-in's own, decoys lower."""
    records = {}
    for i, (g, r) in enumerate(expected_records(manifest)):
        proteins = {g["peptide_a"]: g["proteins_a"], g["peptide_b"]: g["proteins_b"]}
        z = g["precursor"]["charge"]
        mz = g["expect"].get("derived_mz") or g["precursor"]["mz"]
        fields = [r["class"], r["letters"], r["scans"], repr((float(mz) - H) * z + H), str(z), mz,
                  r["peptide_a"], proteins.get(r["peptide_a"], ""), "", r["peptide_b"],
                  proteins.get(r["peptide_b"], ""), "", r["remarks"]]
        records["\t".join(fields)] = (20.0 if g["decoy"] else 60.0) + i % 7 / 10
    return lambda *args: records


def run_chain(fractions, *options):
    a = xl_driver.parser().parse_args([str(x) for x in [folder for folder, _ in fractions.values()] + list(options)])
    return xl_driver.Run(V, io.StringIO())(*xl_driver.prepare(a))


@pytest.fixture(params=["stand-in", "module"])
def search(request, mod, fractions):
    if request.param == "stand-in":
        searches = iter([stand_in_search(m) for _, m in fractions.values()])
        mod.find_XL_from_mgf = lambda *args: next(searches)(*args)
    return request.param


def test_chain_over_two_fractions_matches_the_manifest_and_the_table(search, fractions, tmp_path):
    table = tmp_path / "result.tsv"
    s = run_chain(fractions, "--table", table, "--fdr", 100)
    for label, (folder, manifest) in fractions.items():
        records = [r for _, r in expected_records(manifest)]
        assert s["found"][label] == len(records)
        assert s["kept"][label] == sum(r["recheck"] == "kept" for r in records)
        spectra = sum(len(g["expect"]["rescue_spectra"]) for g in manifest["groups"])
        assert s["rescue"][label] == (str(folder / "rescue.mgf"), spectra) and spectra > 0
    rows = [line.split("\t") for line in table.read_text().splitlines()]
    assert rows[0][0] == "Score" and rows[0][-1] == "Fraction"
    assert len(rows) - 1 == s["passed"] > 0 and s["estimate"] is not None
    # Both fractions hold the same pairs: the merged map counts each pair's CSMs in both.
    assert {r[-1] for r in rows[1:]} <= {"F1", "F2"}
    assert all(int(r[1]) % 2 == 0 for r in rows[1:])
    assert s["pairs"] >= s["passed"]


def test_summary_estimate_is_the_one_the_cut_passed_with(mod):
    """The driver recovers the estimate the cut never returns; the cut, asked by name, tells it."""
    rng = random.Random(11)
    lines = []
    for i in range(300):
        decoy = rng.random() < 0.15
        ids = "random_P%d" % i if decoy else "P%d;random_S%d" % (i, i) if rng.random() < 0.1 else "P%d" % i
        score = round(rng.uniform(5, 40) if decoy else rng.uniform(10, 90), rng.choice([0, 2]))
        lines.append("\t".join(["%s" % score, "1", "High", "HHHH", "1:2:3:4,0", "2000.0", "4", "500.0",
                                "PEPkA%d" % i, ids, "d", "SAMkB%d" % i, "P%d" % (i + 1000), "d", "", "F1"]))
    own = mod.FDR_XL_list
    for cutoff in (0, 1, 2.5, 5, 10, 25, 100):
        seen = []
        mod.FDR_XL_list = lambda XL_list: seen.append(own(XL_list)) or seen[-1]
        passed = mod.filter_XL_FDR(lines, cutoff)
        mod.FDR_XL_list = own
        assert xl_driver.fdr_estimate(mod, lines, passed, cutoff) == (seen[-1][0] if passed else None), cutoff
    assert xl_driver.fdr_estimate(mod, lines, [], 5) is None


def test_help_lists_every_option():
    code, out, err = run_script("--help")
    assert code == 0 and err == ""
    for option in ("--ms1", "--psm", "--rescue-psm", "--label", "--rescue-mgf", "--fdr", "--table", "FRACTION"):
        assert option in out


def copy_fraction(fractions, tmp_path, **changes):
    """A copy of F1 whose driver.json has `changes` ({"call.argument": value})."""
    folder, _ = fractions["F1"]
    copy = tmp_path / "F1"
    shutil.copytree(folder, copy, ignore=shutil.ignore_patterns("rescue.mgf", "result.tsv"))
    args = json.loads((copy / "driver.json").read_text())
    for name, value in changes.items():
        call, arg = name.split(".")
        args[call][arg] = value
    (copy / "driver.json").write_text(json.dumps(args))
    return copy


@pytest.mark.parametrize("changes, options, code, names", [
    ({}, ["--fdr", "five"], 2, "argument --fdr"),
    ({}, ["--fdr", "150"], 2, "--fdr: must be a percentage"),
    ({}, ["--ms2-rescue", "yes"], 2, "argument --ms2-rescue"),
    ({}, ["--table", "/nonexistent/result.tsv"], 2, "--table: no such folder: /nonexistent"),
    ({}, ["--ms1", "missing.zip"], 2, "--ms1: no such file"),
    ({"find_XL_from_mgf.PD_result_path": "gone.tsv"}, [], 2, "find_XL_from_mgf.PD_result_path: no such file"),
    ({"filter_pep_pair.linker_mass": "heavy"}, [], 2, "filter_pep_pair.linker_mass: must be a number"),
    ({"filter_pep_pair.mod_dict": {"mm_H": 1.007825}}, [], 2, '"mm_O" must be a mass'),
    ({"filter_pep_pair.fraction": "F\t1"}, [], 2, "filter_pep_pair.fraction: must be a non-empty text"),
    ({"find_XL_from_mgf.MS2_Rescue": "yes"}, [], 2, 'MS2_Rescue: must be "YES" or "NO"'),
    ({"write_XL.filenames": "x"}, [], 2, "write_XL.filenames is no argument"),
    # An output that is also an input would destroy the input.
    ({"Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf.spec_file": "ms2.mgf"}, [], 2,
     "spec_file: %s is also "),
])
def test_bad_paths_and_parameters_get_one_line_naming_them(fractions, tmp_path, changes, options, code, names):
    folder = copy_fraction(fractions, tmp_path, **changes)
    got, out, err = run_script(folder, *options, cwd=tmp_path)
    assert got == code
    assert len(err.splitlines()) == 1 and err.startswith("xl_driver.py: error: "), err
    assert (names % (folder / "ms2.mgf") if "%s" in names else names) in err
    assert not (folder / "rescue.mgf").exists() and not (folder / "result.tsv").exists()


def test_fractions_must_differ_and_agree(fractions, tmp_path):
    f1 = copy_fraction(fractions, tmp_path)
    f2 = fractions["F2"][0]
    code, _, err = run_script(f1 / "driver.json", f1 / "driver.json")
    assert code == 2 and "label F1 is also that of" in err
    other = tmp_path / "other.json"
    args = json.loads((f2 / "driver.json").read_text())
    args["filter_XL_FDR"]["FDR_cutoff"] = 1
    for call in args.values():  # names relative to the fraction file's own folder
        for arg, value in call.items():
            if isinstance(value, str) and (f2 / value).is_file():
                call[arg] = str(f2 / value)
    other.write_text(json.dumps(args))
    code, _, err = run_script(f1, other)
    assert code == 2 and "different filter_XL_FDR.FDR_cutoff: give --fdr" in err
    code, _, err = run_script(f1, other, "--label", "X")
    assert code == 2 and "--label: only with a single fraction" in err


def test_a_malformed_input_file_fails_its_step_in_one_line(fractions, tmp_path):
    folder = copy_fraction(fractions, tmp_path)
    text = (folder / "ms2.mgf").read_text().replace("SCANS=", "SCANS=x", 1)
    (folder / "ms2.mgf").write_text(text)
    line = text[:text.index("SCANS=x")].count("\n") + 1
    code, out, err = run_script(folder)
    assert code == 1 and len(err.splitlines()) == 1
    assert "F1 rescue MGF: ValueError:" in err and "'%s', line %d" % (folder / "ms2.mgf", line) in err
    assert "Traceback" not in out + err
