"""The module as a driver sees it: namespace, documentation and the calling rules."""
import collections
import io
import itertools
import re
import zipfile

import pytest

import Vombrelle1pt0_Submission as V

# Each function with the count of its positional arguments; 1 stands for "exactly one argument".
FUNCTIONS = {"read_ms_Mgf": 1, "read_ms_DtaZip": 1, "rescale_qval": 1, "read_PD_PSM_results_tsv_wrapper": 6,
             "read_PD_PSM_results": 6, "find_XL_from_mgf": 15, "Rescue_PrecMismatch_XLs": 20,
             "Vombrelle_FindXLs_MS2Rescue": 14, "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf": 7,
             "RescuePrecMass": 15, "uniq": None, "FDR_XL_list": 1, "remove_random": 1, "filter_XL_FDR": 2,
             "filter_pep_pair": 6, "XL_recurrence_score": 1, "write_XL": 2}


def test_namespace_order_and_facilities():
    names = [n for n in vars(V) if not n.startswith("__")]
    assert names == ["defaultdict", "combinations", "re", "zipfile", "io"] + list(FUNCTIONS)
    assert (V.defaultdict, V.combinations, V.re, V.zipfile, V.io) == (
        collections.defaultdict, itertools.combinations, re, zipfile, io)


def test_documentation():
    assert V.__doc__ == (
        "Contains all the functions used in Vombrelle v1.0\n"
        "Purpose: Functions used to identify cross-links from cross-linking (XL-MS) mass spectrometry data.")
    assert V.read_ms_DtaZip.__doc__ == "Read .dta.zip directly"
    assert V.read_ms_Mgf.__doc__.startswith("Function to read a .mgf spectra file and store it in a dictionary")
    assert V.find_XL_from_mgf.__doc__ == (
        "The main Vombrelle function for cross-linking mass spectrometry cross-link search")
    assert V.read_PD_PSM_results_tsv_wrapper.__doc__ == (
        "Wrapper to throw tsv file content into read_PD_PSM_results.\n"
        "An extra line is added to remove all double quotes in the tsv file")
    assert V.read_PD_PSM_results.__doc__.startswith(
        "Function to read the Peptide Spectrum Match(PSM) results from Proteome Discoverer(PD)'s SEQUEST search."
        " Tested and works with results from PD2.1 and PD2.2.")
    assert V.write_XL.__doc__ is None


CALLS = [call for f, n in FUNCTIONS.items() if n == 1 for call in [
    (lambda f=f: getattr(V, f)(file_path="x"), f"{f}() takes no keyword arguments"),
    (lambda f=f: getattr(V, f)("x", XL_list=1), f"{f}() takes no keyword arguments"),
    (lambda f=f: getattr(V, f)(), f"{f}() takes exactly one argument (0 given)"),
    (lambda f=f: getattr(V, f)(1, 2), f"{f}() takes exactly one argument (2 given)"),
]] + [
    (lambda f=f, k=k: getattr(V, f)(*range(k)), f"{f}() takes exactly {n} positional arguments ({k} given)")
    for f, n in FUNCTIONS.items() if n and n > 1 for k in (0, n - 1, n + 1)] + [
    (lambda: V.write_XL([], "a", bogus=1), "write_XL() got an unexpected keyword argument 'bogus'"),
    (lambda: V.write_XL([], "a", XL_list=1), "write_XL() got multiple values for keyword argument 'XL_list'"),
    (lambda: V.write_XL([], "a", **{1: 2}), "write_XL() keywords must be strings"),
    # A missing required argument is reported, by its position, before any keyword is judged.
    (lambda: V.write_XL([], bogus=1), "write_XL() takes exactly 2 positional arguments (1 given)"),
    (lambda: V.write_XL(file_path="a", bogus=1), "write_XL() takes exactly 2 positional arguments (0 given)"),
    (lambda: V.filter_XL_FDR(XL_list=[], FDR_cutoff=1, extra=2),
     "filter_XL_FDR() got an unexpected keyword argument 'extra'"),
    (lambda: V.uniq(), "uniq() takes at least 1 positional argument (0 given)"),
    (lambda: V.uniq(idfun=None), "uniq() takes at least 1 positional argument (0 given)"),
    (lambda: V.uniq(1, 2, 3), "uniq() takes at most 2 positional arguments (3 given)"),
    (lambda: V.uniq([], seq=[]), "uniq() got multiple values for keyword argument 'seq'"),
]


@pytest.mark.parametrize("call, expected", CALLS)
def test_calling_rule_messages(call, expected):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == expected


def test_all_keyword_call_is_accepted_in_any_order_and_a_binding_error_never_runs_the_body(mod):
    seen, calls = {}, []
    assert mod.uniq(idfun=lambda x: seen.setdefault("idfun", x), seq=["only"]) == ["only"]
    assert seen == {"idfun": "only"}
    with pytest.raises(TypeError, match="^uniq\\(\\) got an unexpected keyword argument 'bogus'$"):
        V.uniq(seq=(calls.append(1) for _ in [1]), bogus=1)
    assert calls == []
