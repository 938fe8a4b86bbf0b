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
    assert V.find_XL_from_mgf.__doc__ == "The main Vombrelle function for cross-linking mass spectrometry cross-link search"
    assert V.read_ms_Mgf.__doc__.startswith("Function to read a .mgf spectra file and store it in a dictionary\n")
    assert V.write_XL.__doc__ is None


CALLS = [(f, range(k), {}, f"{f}() takes exactly %s ({k} given)" % ("one argument" if n == 1 else f"{n} positional arguments"))
         for f, n in FUNCTIONS.items() if n for k in sorted({0, n - 1, n + 1})] + [
    (f, (), {"file_path": "x"}, f"{f}() takes no keyword arguments") for f, n in FUNCTIONS.items() if n == 1] + [
    ("write_XL", ([], "a"), {"bogus": 1}, "write_XL() got an unexpected keyword argument 'bogus'"),
    ("write_XL", ([], "a"), {"XL_list": 1}, "write_XL() got multiple values for keyword argument 'XL_list'"),
    # A missing required argument is reported, by its position, before any keyword is judged.
    ("write_XL", ([],), {"bogus": 1}, "write_XL() takes exactly 2 positional arguments (1 given)"),
    ("uniq", (), {"idfun": None}, "uniq() takes at least 1 positional argument (0 given)"),
    ("uniq", (1, 2, 3), {}, "uniq() takes at most 2 positional arguments (3 given)"),
]


@pytest.mark.parametrize("function, args, kwargs, expected", CALLS)
def test_calling_rule_messages(function, args, kwargs, expected):
    with pytest.raises(TypeError) as info:
        getattr(V, function)(*args, **kwargs)
    assert str(info.value) == expected
