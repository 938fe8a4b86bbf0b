"""The notes on the module's errors name where the fault is: a line of an input file only for an
error that line caused, an argument for the module's own refusal of its value, and a function
bound in place of one of the module's own for an error in what it returned. Messages stay the
interpreter's."""
import pytest

from helpers.psm import LINKER, header, row, write
from helpers.rescue_tables import A_MASS, B_MASS, LINKER_MASS, MS2_MASS, export

LONG, SHORT, LONG_NAME, SHORT_NAME = LINKER


@pytest.mark.parametrize("linkers, error, message, notes", [
    ((2 ** 63, SHORT, LONG_NAME, SHORT_NAME), OverflowError, "int too large to convert to a 64-bit integer",
     ["in argument 'linker_Long'"]),
    ((LONG, -2 ** 63 - 1, LONG_NAME, SHORT_NAME), OverflowError, "int too large to convert to a 64-bit integer",
     ["in argument 'linker_Short'"]),
    # Errors the interpreter raises itself on the arguments carry no note either.
    (("x", SHORT, LONG_NAME, SHORT_NAME), TypeError, "unsupported operand type(s) for -: 'float' and 'str'", None),
    ((LONG, SHORT, LONG_NAME, (1, 2)), TypeError, "not all arguments converted during string formatting", None),
])
def test_a_linker_arguments_error_names_no_line_of_the_table(mod, tmp_path, linkers, error, message, notes):
    path = write(tmp_path, header() + row() + row(scan="x"))  # line 3 is bad, but the argument fails first
    with pytest.raises(error) as info:
        mod.read_PD_PSM_results_tsv_wrapper(path, {}, *linkers)
    assert str(info.value) == message and getattr(info.value, "__notes__", None) == notes
    # The row's own error, once the arguments serve, names its line.
    with pytest.raises(ValueError) as info:
        mod.read_PD_PSM_results_tsv_wrapper(path, {}, *LINKER)
    assert info.value.__notes__ == [f"in file '{path}', line 3"]


@pytest.mark.parametrize("mass", [2 ** 63 - 1, -2 ** 63])
def test_linker_masses_at_the_64_bit_bounds_are_taken(mod, mass):
    tables = mod.read_PD_PSM_results([header(), row(mods="K2(DSSO_long)")], {}, mass, SHORT, LONG_NAME, SHORT_NAME)
    # The int meets the float as the nearest float, 2**63 in size either way; the floats next to
    # 2**63 lie 1024 below it and 2048 above it, so 1000.5 moves the difference down by 1024 but
    # the sum not at all.
    assert tables[0][10]["AkDEFR"]["pep_mass"] == (-(2.0 ** 63 - 1024) if mass > 0 else 2.0 ** 63)


@pytest.mark.parametrize("call, argument", [
    (lambda m: m.Vombrelle_FindXLs_MS2Rescue(51, 52, 53, 54, 2 ** 64, 1.0, 3, *[{}] * 6, 1.0), "MS2_match_scan"),
    (lambda m: m.RescuePrecMass(51, 52, 53, 54, [1.0], [2.0], [2.0], [1.0], {}, 101, 800.0, 1.0, 3, {}, -2 ** 63 - 1),
     "linker_deficit"),
])
def test_a_number_argument_beyond_64_bits_is_named_in_a_note(mod, call, argument):
    with pytest.raises(OverflowError, match="^int too large to convert to a 64-bit integer$") as info:
        call(mod)
    assert info.value.__notes__ == [f"in argument '{argument}'"]


def dispatch(mod, *unused):
    tables = export(mod, (51, "AkDEFR", A_MASS)) + export(mod, (53, "GGkR", B_MASS))
    return mod.Rescue_PrecMismatch_XLs(4, [], [], [], [], 51, 52, 53, 54, 50, MS2_MASS, 3, *tables, LINKER_MASS, 0)


def rescue_mgf(mod, fraction, tmp_path):
    args = fraction.arguments("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf")
    return mod.Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf(**{**args, "spec_file": str(tmp_path / "r.mgf")})


def search(mod, fraction, tmp_path):
    return mod.find_XL_from_mgf(**fraction.arguments())


def fdr_cut(mod, fraction, tmp_path):
    return mod.filter_XL_FDR(["5.0\tHigh\tr"], 5)


@pytest.mark.parametrize("callee, returned, call, error, message", [
    ("Vombrelle_FindXLs_MS2Rescue", ("rec", 2 ** 64), dispatch, OverflowError,
     "int too large to convert to a 64-bit integer"),
    ("Vombrelle_FindXLs_MS2Rescue", ("rec", 1, 2), dispatch, ValueError, "too many values to unpack (expected 2)"),
    ("uniq", 5, dispatch, TypeError, "'int' object is not iterable"),
    ("read_ms_Mgf", {2 ** 64: {}}, rescue_mgf, OverflowError, "int too large to convert to a 64-bit integer"),
    ("combinations", [(1.0,)], rescue_mgf, ValueError, "not enough values to unpack (expected 2, got 1)"),
    ("FDR_XL_list", ("x", []), fdr_cut, TypeError, "'<=' not supported between instances of 'str' and 'int'"),
    ("RescuePrecMass", (True, "800.5", ""), search, IndexError, "list index out of range"),
    ("RescuePrecMass", (True, "a:1", ""), search, ValueError, "could not convert string to float: 'a'"),
    ("Rescue_PrecMismatch_XLs", None, search, TypeError, "'NoneType' object is not iterable"),
])
def test_an_error_in_what_a_rebound_callee_returned_names_the_callee(
        mod, fraction_factory, tmp_path, callee, returned, call, error, message):
    fraction = fraction_factory(seed=2, groups={"four_isotope_located": 1, "four_rescue_tier1": 1})
    setattr(mod, callee, lambda *args: returned)
    with pytest.raises(error) as info:
        call(mod, fraction, tmp_path)
    assert str(info.value) == message
    assert info.value.__notes__ == [f"in what {callee}() returned"]


def test_errors_the_callee_raises_itself_or_that_name_it_get_no_note(mod):
    def builder(*args):
        raise ValueError("the builder's own")
    mod.Vombrelle_FindXLs_MS2Rescue = builder
    with pytest.raises(ValueError, match="^the builder's own$") as info:
        dispatch(mod)
    assert not hasattr(info.value, "__notes__")
    mod.Vombrelle_FindXLs_MS2Rescue = lambda *args: (5, 1)
    with pytest.raises(TypeError, match=r"^Vombrelle_FindXLs_MS2Rescue\(\) returned a cross-link record") as info:
        dispatch(mod)
    assert not hasattr(info.value, "__notes__")
