"""examples/xl_driver.py: the main job's script, run as a user runs it, on small generated fractions."""
import io
import json
import pathlib
import shutil
import signal
import subprocess
import sys

import pytest

import Vombrelle1pt0_Submission as V
import make_fraction as gen

DRIVER = pathlib.Path(__file__).resolve().parents[2] / "examples" / "xl_driver.py"
sys.path.insert(0, str(DRIVER.parent))
import xl_driver  # noqa: E402


@pytest.fixture(scope="module")
def fractions(tmp_path_factory):
    """Two fractions alike but for their labels, so every peptide pair recurs across them."""
    tiny = dict(ms1_peaks=40, ms2_peaks=30, deconv_peaks=10, ms3_peaks=8)
    return {label: (folder, gen.make_fraction(folder, seed=3, groups=len(gen.KINDS) + 20, fraction=label, **tiny))
            for label, folder in ((label, tmp_path_factory.mktemp(label)) for label in ("F1", "F2"))}


def run_script(*args, cwd=None):
    done = subprocess.run([sys.executable, str(DRIVER), *map(str, args)], capture_output=True, text=True, cwd=cwd)
    return done.returncode, done.stdout, done.stderr


def test_chain_over_two_fractions_matches_the_manifest_and_the_table(fractions, tmp_path):
    table = tmp_path / "result.tsv"
    a = xl_driver.parser().parse_args([str(f) for f, _ in fractions.values()] + ["--table", str(table), "--fdr", "100"])
    s = xl_driver.Run(V, io.StringIO())(*xl_driver.prepare(a))
    for label, (folder, manifest) in fractions.items():
        records = [r for g in manifest["groups"]
                   for r in ([g["expect"]["record"]] if g["expect"]["record"] else []) + g["expect"]["rescue_records"]]
        assert (s["found"][label], s["kept"][label]) == (len(records), sum(r["recheck"] == "kept" for r in records))
        spectra = sum(len(g["expect"]["rescue_spectra"]) for g in manifest["groups"])
        assert s["rescue"][label] == (str(folder / "rescue.mgf"), spectra) and spectra > 0
    rows = [line.split("\t") for line in table.read_text().splitlines()]
    assert rows[0][0] == "Score" and rows[0][-1] == "Fraction" and s["estimate"] is not None
    # Both fractions hold the same pairs: the merged map counts each pair's CSMs in both.
    assert len(rows) - 1 == s["passed"] > 0 and s["pairs"] >= s["passed"]
    assert {r[-1] for r in rows[1:]} <= {"F1", "F2"} and all(int(r[1]) % 2 == 0 for r in rows[1:])


def copy_fraction(fractions, tmp_path, **changes):
    """A copy of F1 whose driver.json has `changes` ({"call.argument": value})."""
    copy = tmp_path / "F1"
    shutil.copytree(fractions["F1"][0], copy, ignore=shutil.ignore_patterns("rescue.mgf", "result.tsv"))
    args = json.loads((copy / "driver.json").read_text())
    for name, value in changes.items():
        call, arg = name.split(".")
        args[call][arg] = value
    (copy / "driver.json").write_text(json.dumps(args))
    return copy


@pytest.mark.parametrize("changes, options, names", [
    ({}, ["--fdr", "150"], "--fdr: must be a percentage"),
    ({"find_XL_from_mgf.PD_result_path": "gone.tsv"}, [], "find_XL_from_mgf.PD_result_path: no such file"),
    ({"find_XL_from_mgf.MS2_Rescue": "yes"}, [], 'MS2_Rescue: must be "YES" or "NO"'),
    # An output that is also an input would destroy the input.
    ({"Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf.spec_file": "ms2.mgf"}, [], "spec_file: %s is also "),
])
def test_bad_paths_and_parameters_get_one_line_naming_them(fractions, tmp_path, changes, options, names):
    folder = copy_fraction(fractions, tmp_path, **changes)
    code, _, err = run_script(folder, *options, cwd=tmp_path)
    assert code == 2 and len(err.splitlines()) == 1 and err.startswith("xl_driver.py: error: "), err
    assert (names % (folder / "ms2.mgf") if "%s" in names else names) in err
    assert not (folder / "rescue.mgf").exists() and not (folder / "result.tsv").exists()


def test_one_fraction_given_twice_is_refused(fractions):
    code, _, err = run_script(*[fractions["F1"][0] / "driver.json"] * 2)
    assert code == 2 and "label F1 is also that of" in err


def test_a_malformed_input_file_fails_its_step_in_one_line(fractions, tmp_path):
    folder = copy_fraction(fractions, tmp_path)
    text = (folder / "ms2.mgf").read_text().replace("SCANS=", "SCANS=x", 1)
    (folder / "ms2.mgf").write_text(text)
    line = text[:text.index("SCANS=x")].count("\n") + 1
    code, out, err = run_script(folder)
    assert code == 1 and len(err.splitlines()) == 1
    assert "F1 rescue MGF: ValueError:" in err and "'%s', line %d" % (folder / "ms2.mgf", line) in err
    assert "Traceback" not in out + err


@pytest.mark.parametrize("option, target, other", [
    ("--table", "driver.json", "a fraction file"),
    ("--rescue-mgf", "driver.json", "a fraction file"),
    ("--table", "uniprot.json", "driver.json: find_XL_from_mgf.uniprot_dict"),
    ("--rescue-mgf", "link.json", "driver.json: find_XL_from_mgf.uniprot_dict"),  # a link to the protein map
])
def test_no_output_replaces_a_file_the_driver_reads(fractions, tmp_path, option, target, other):
    folder = copy_fraction(fractions, tmp_path)
    (folder / "link.json").symlink_to("uniprot.json")
    before = (folder / target).read_bytes()
    code, _, err = run_script(folder, option, folder / target, cwd=tmp_path)
    assert code == 2 and len(err.splitlines()) == 1, err
    assert err.startswith("xl_driver.py: error: %s: %s is also " % (option, folder / target)) and err.rstrip().endswith(other)
    assert (folder / target).read_bytes() == before
    assert not (folder / "rescue.mgf").exists() and not (folder / "result.tsv").exists()


def test_a_number_too_long_to_read_is_refused_in_one_line(tmp_path):
    fraction = tmp_path / "driver.json"
    fraction.write_text('{"filter_XL_FDR": {"FDR_cutoff": %s}}' % ("9" * 5000))
    code, _, err = run_script(fraction)
    assert code == 2 and len(err.splitlines()) == 1 and "not a JSON fraction file (Exceeds the limit" in err, err


@pytest.mark.parametrize("value, taken", [(2 ** 63 - 1, True), (2 ** 63, False), (-2 ** 63, True), (-2 ** 63 - 1, False),
                                          (2.0 ** 70, True)])  # a float has no such bound
def test_masses_are_taken_as_ints_within_64_bits(value, taken):
    if taken:
        assert xl_driver.check_value("mass", value, "x") == value
    else:
        with pytest.raises(xl_driver.InputError, match=r"^x: is an integer beyond 64 bits, which the module does not "
                                                       r"take \(got %d\)$" % value):
            xl_driver.check_value("mass", value, "x")


@pytest.mark.parametrize("kind, value, taken", [
    ("tolerance", 0, True), ("tolerance", -0.001, False), ("tolerance", 1e9, True),
    ("percent", 0, True), ("percent", 100, True), ("percent", 100.001, False), ("percent", -0.001, False),
])
def test_tolerances_and_percentages_at_their_bounds(kind, value, taken):
    if taken:
        assert xl_driver.check_value(kind, value, "x") == value
    else:
        with pytest.raises(xl_driver.InputError, match="^x: must be a "):
            xl_driver.check_value(kind, value, "x")


@pytest.mark.parametrize("changes, names", [
    ({"find_XL_from_mgf.linker_Long": 2 ** 64}, "find_XL_from_mgf.linker_Long: is an integer beyond 64 bits"),
    ({"Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf.linker_dm": -2 ** 63 - 1}, "linker_dm: is an integer"),
    ({"filter_pep_pair.mod_dict": {"mm_H": 2 ** 64, "mm_O": 15.9949}}, '"mm_H" must be a mass in Da (an int within'),
])
def test_a_number_the_module_would_refuse_stops_the_run_before_the_first_call(fractions, tmp_path, changes, names):
    folder = copy_fraction(fractions, tmp_path, **changes)
    code, out, err = run_script(folder, cwd=tmp_path)
    assert code == 2 and names in err and out == ""
    assert not (folder / "rescue.mgf").exists()


# The driver with the rescue MGF's pair test stalled (a rebound `combinations`) while the MGF's
# temporary file is open; it says so on its standard output.
STALLED_WRITE = """
import signal
import sys
sys.path.insert(0, {examples!r})
import Vombrelle1pt0_Submission as V
import xl_driver


def stalled(values, r):
    print("writing", flush=True)
    signal.pause()


V.combinations = stalled
sys.exit(xl_driver.main(sys.argv[1:]))
"""


@pytest.mark.parametrize("sig, code, word", [(signal.SIGTERM, 143, "terminated"), (signal.SIGINT, 130, "interrupted")])
def test_a_signal_during_the_rescue_mgfs_write_keeps_the_old_file_and_leaves_no_temporary(
        fractions, tmp_path, sig, code, word):
    folder = copy_fraction(fractions, tmp_path)
    (folder / "rescue.mgf").write_text("old\n")
    script = tmp_path / "stalled.py"
    script.write_text(STALLED_WRITE.format(examples=str(DRIVER.parent)))
    driver = subprocess.Popen([sys.executable, str(script), str(folder)], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    for line in driver.stdout:
        if line == "writing\n":
            break
    temporaries = lambda: [p.name for p in folder.iterdir() if p.name.startswith(".rescue.mgf.")]  # noqa: E731
    assert len(temporaries()) == 1
    driver.send_signal(sig)
    _, err = driver.communicate(timeout=120)  # a guard only: the signal ends the run at once
    assert driver.returncode == code and err == "xl_driver.py: %s\n" % word
    assert (folder / "rescue.mgf").read_text() == "old\n" and temporaries() == []
