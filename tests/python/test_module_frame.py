"""The module as a driver sees it: namespace, documentation and the calling rules."""
import collections
import io
import itertools
import re
import zipfile

import pytest

import Vombrelle1pt0_Submission as V

FUNCTIONS = [
    ("read_ms_Mgf", 1, "one"),
    ("read_ms_DtaZip", 1, "one"),
    ("rescale_qval", 1, "one"),
    ("read_PD_PSM_results_tsv_wrapper", 6, "any"),
    ("read_PD_PSM_results", 6, "any"),
    ("find_XL_from_mgf", 15, "any"),
    ("Rescue_PrecMismatch_XLs", 20, "any"),
    ("Vombrelle_FindXLs_MS2Rescue", 14, "any"),
    ("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf", 7, "any"),
    ("RescuePrecMass", 15, "any"),
    ("uniq", 2, "any"),
    ("FDR_XL_list", 1, "one"),
    ("remove_random", 1, "one"),
    ("filter_XL_FDR", 2, "any"),
    ("filter_pep_pair", 6, "any"),
    ("XL_recurrence_score", 1, "one"),
    ("write_XL", 2, "any"),
]


def test_namespace_order_and_facilities():
    names = [n for n in vars(V) if not n.startswith("__")]
    assert names == ["defaultdict", "combinations", "re", "zipfile", "io"] + [f for f, _, _ in FUNCTIONS]
    assert V.defaultdict is collections.defaultdict
    assert V.combinations is itertools.combinations
    assert (V.re, V.zipfile, V.io) == (re, zipfile, io)


def test_documentation():
    assert V.__doc__.splitlines() == [
        "Contains all the functions used in Vombrelle v1.0",
        "Purpose: Functions used to identify cross-links from cross-linking (XL-MS) mass spectrometry data.",
    ]
    assert V.read_ms_DtaZip.__doc__ == "Read .dta.zip directly"
    assert V.read_ms_Mgf.__doc__.startswith("Function to read a .mgf spectra file and store it in a dictionary")
    assert V.read_PD_PSM_results_tsv_wrapper.__doc__.splitlines() == [
        "Wrapper to throw tsv file content into read_PD_PSM_results.",
        "An extra line is added to remove all double quotes in the tsv file"]
    assert V.read_PD_PSM_results.__doc__ == (
        "Function to read the Peptide Spectrum Match(PSM) results from Proteome Discoverer(PD)'s SEQUEST search."
        " Tested and works with results from PD2.1 and PD2.2.")
    assert V.find_XL_from_mgf.__doc__ == (
        "The main Vombrelle function for cross-linking mass spectrometry cross-link search")
    assert V.write_XL.__doc__ is None


def message(call):
    with pytest.raises(TypeError) as info:
        call()
    return str(info.value)


@pytest.mark.parametrize("name", [f for f, _, form in FUNCTIONS if form == "one"])
def test_one_positional_rules(name):
    f = getattr(V, name)
    assert message(lambda: f(file_path="x")) == f"{name}() takes no keyword arguments"
    assert message(lambda: f("x", XL_list=1)) == f"{name}() takes no keyword arguments"
    assert message(lambda: f()) == f"{name}() takes exactly one argument (0 given)"
    assert message(lambda: f(1, 2)) == f"{name}() takes exactly one argument (2 given)"


@pytest.mark.parametrize("name,count", [(f, n) for f, n, form in FUNCTIONS if form == "any" and f != "uniq"])
def test_positional_or_keyword_counts(name, count):
    f = getattr(V, name)
    s = "" if count == 1 else "s"
    assert message(lambda: f(*range(count + 1))) == (
        f"{name}() takes exactly {count} positional argument{s} ({count + 1} given)")
    assert message(lambda: f(*range(count - 1))) == (
        f"{name}() takes exactly {count} positional argument{s} ({count - 1} given)")
    assert message(lambda: f()) == f"{name}() takes exactly {count} positional argument{s} (0 given)"


def test_keyword_errors_and_their_order():
    assert message(lambda: V.write_XL([], "a", bogus=1)) == "write_XL() got an unexpected keyword argument 'bogus'"
    assert message(lambda: V.write_XL([], "a", XL_list=1)) == (
        "write_XL() got multiple values for keyword argument 'XL_list'")
    assert message(lambda: V.write_XL([], "a", **{1: 2})) == "write_XL() keywords must be strings"
    # A missing required argument is reported, by its position, before any keyword is judged.
    assert message(lambda: V.write_XL([], bogus=1)) == "write_XL() takes exactly 2 positional arguments (1 given)"
    assert message(lambda: V.write_XL(file_path="a", bogus=1)) == (
        "write_XL() takes exactly 2 positional arguments (0 given)")
    assert message(lambda: V.filter_XL_FDR(XL_list=[], FDR_cutoff=1, extra=2)) == (
        "filter_XL_FDR() got an unexpected keyword argument 'extra'")


def test_uniq_calling_rules():
    assert message(lambda: V.uniq()) == "uniq() takes at least 1 positional argument (0 given)"
    assert message(lambda: V.uniq(idfun=None)) == "uniq() takes at least 1 positional argument (0 given)"
    assert message(lambda: V.uniq(1, 2, 3)) == "uniq() takes at most 2 positional arguments (3 given)"
    assert message(lambda: V.uniq([], seq=[])) == "uniq() got multiple values for keyword argument 'seq'"
    assert V.uniq(seq=["a", "a"], idfun=None) == ["a"]


def test_all_keyword_call_is_accepted(tmp_path, mod):
    """Arguments bound by name reach the body in the right order."""
    seen = {}
    mod.uniq(idfun=lambda x: seen.setdefault("idfun", x), seq=["only"])
    assert seen == {"idfun": "only"}


def test_binding_error_never_runs_the_body():
    calls = []
    assert message(lambda: V.uniq(seq=(calls.append(1) for _ in [1]), bogus=1)) == (
        "uniq() got an unexpected keyword argument 'bogus'")
    assert calls == []
