"""The eleven functions that take their arguments by name: all by name, or the first ones by position
and the rest by name in another order, do what the call by position does (result and bytes written);
and the messages of calls that name their arguments wrongly."""
import pytest

import make_fraction as gen
from helpers.outcome import shape
from helpers.psm import LINKER, header, row, write
from helpers.rescue_fraction import two_scan_fraction
from helpers.rescue_tables import A_MASS, B_MASS, LINKER_MASS, MS2_MASS, export
from helpers.scored_lines import LINKER as XL_LINKER, MASS, MOD, decoy, expected_mh, line, record

RESCUE_MGF = "Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"
LINKER_NAMES = "linker_Long linker_Short linker_Long_name_SEQUEST linker_Short_name_SEQUEST"
SCANS = "MS3_scan_a1 MS3_scan_a2 MS3_scan_b1 MS3_scan_b2"
TABLES = ("match_dict_high match_dict_med_high match_dict_all "
          "MS2_match_dict_high MS2_match_dict_med_high MS2_match_dict_all")
MASS_LISTS = "MS3_a1_masslist MS3_a2_masslist MS3_b1_masslist MS3_b2_masslist"
# The argument names a driver calls each function with, in order.
NAMES = {name: names.split() for name, names in {
    "read_PD_PSM_results_tsv_wrapper": "file_path uniprot_dict " + LINKER_NAMES,
    "read_PD_PSM_results": "pep_matches uniprot_dict " + LINKER_NAMES,
    "find_XL_from_mgf": "MS2_Rescue MS1_file_path MS2_file_path MS3_file_path msn_1_MS3_path PD_result_path "
                        "MS2_PD_result_path uniprot_dict linker_mass linker_Long linker_Short linker_dm linker_deficit "
                        "linker_Long_name_SEQUEST linker_Short_name_SEQUEST",
    "Rescue_PrecMismatch_XLs": f"spec_mode {MASS_LISTS} {SCANS} MS2_scan MS2_mass MS2_charge {TABLES} "
                               "linker_mass linker_deficit",
    "Vombrelle_FindXLs_MS2Rescue": f"{SCANS} MS2_match_scan MS2_mass MS2_charge {TABLES} linker_mass",
    RESCUE_MGF: "MS2_DeisoDeconv_file_path MS2_file_path MS3_file_path msn_1_MS3_path spec_file "
                "linker_dm linker_deficit",
    "RescuePrecMass": f"{SCANS} {MASS_LISTS} MS1_dict MS2_match_scan MS2_conv_mass MS2_mass MS2_charge "
                      "match_dict_med_high linker_deficit",
    "uniq": "seq idfun",
    "filter_XL_FDR": "XL_list FDR_cutoff",
    "filter_pep_pair": "XL_dict mass_dict mod_dict linker_mass prec_tol_ppm fraction",
    "write_XL": "XL_list file_path",
}.items()}


def rescue_tables(mod):
    """The six tables of a four-scan group whose peptides are in the MS3 search and the rescue search."""
    return [*export(mod, (51, "AkDEFR", A_MASS), (53, "GGkR", B_MASS)),
            *export(mod, (53, "GGkR", B_MASS), (51, "AkDEFR", A_MASS))]


# Per function: fresh arguments by position (the calls insert into tables), each bearing on the
# result, and the place of the file the call writes, if any.
ARGUMENTS = {
    "read_PD_PSM_results_tsv_wrapper": lambda mod, tmp, _: ([write(tmp, header() + row(mods="(DSSO_long)") + row(
        scan="11", seq="GGk", conf="Medium", acc="P2")), {"P2": "MGGK"}, *LINKER], None),
    "read_PD_PSM_results": lambda mod, tmp, _: (
        [[header(), row(mods="(DSSO_short)"), row(scan="11", seq="GGk", acc="P2")], {"P2": "MGGK"}, *LINKER], None),
    "find_XL_from_mgf": lambda mod, tmp, fractions: (
        list(fractions(seed=3, groups=len(gen.KINDS) + 20).arguments().values()), None),
    "Rescue_PrecMismatch_XLs": lambda mod, tmp, _: ([4, [1.0], [2.0], [2.0], [1.0], 51, 52, 53, 54, 50, MS2_MASS, 3,
                                                     *rescue_tables(mod), LINKER_MASS, 18.0], None),
    "Vombrelle_FindXLs_MS2Rescue": lambda mod, tmp, _: (
        [51, 52, 53, 54, 50, MS2_MASS, 3, *rescue_tables(mod), LINKER_MASS], None),
    RESCUE_MGF: lambda mod, tmp, _: ([*two_scan_fraction(tmp), str(tmp / "rescue.mgf"), 32.0, 50.0], 4),
    # 1 Da off at charge 3, the monoisotopic peak in MS1 scan 90
    "RescuePrecMass": lambda mod, tmp, _: ([51, 52, 53, 54, [1.0], [2.0], [2.0], [1.0], {90: {"ion_mass": {
        801.0: 3.0, 800.0: 10.0, 799.6666: 5.0}}}, 101, 800.0, 1.0, 3, {52: 1, 53: 1}, -1.992175], None),
    "uniq": lambda mod, tmp, _: ([["Red", "red", "Blue"], str.lower], None),
    "filter_XL_FDR": lambda mod, tmp, _: (
        [[line(50, "AAK", "GGK"), decoy(30, "RRK", "EEK"), line(40, "PPK", "EEK")], 40], None),
    "filter_pep_pair": lambda mod, tmp, _: ([{record("PEKAR", "GAKE", mh="1.0"): 9.0, record(
        "PEKAR", "GAKE", mh=repr(expected_mh("PEKAR", "GAKE"))): 2.0}, MASS, MOD, XL_LINKER, 10, "F1"], None),
    "write_XL": lambda mod, tmp, _: ([[line(2, "AAK", "GGK"), line(1, "PPK", "EEK")], str(tmp / "table.tsv")], 1),
}


def call(mod, function, args, kwargs, written):
    """The result's shape and the bytes of the file written, if any."""
    result = shape(getattr(mod, function)(*args, **kwargs))
    if written is None:
        return result, None
    with open(args[written] if written < len(args) else kwargs[NAMES[function][written]], "rb") as f:
        return result, f.read()


@pytest.mark.parametrize("form", ["all by name", "mixed"])
@pytest.mark.parametrize("function", list(NAMES))
def test_by_name_as_by_position(mod, tmp_path, fraction_factory, function, form):
    args, written = ARGUMENTS[function](mod, tmp_path, fraction_factory)
    expected = call(mod, function, args, {}, written)
    assert expected[1] != b""   # a writer wrote something to compare
    args, _ = ARGUMENTS[function](mod, tmp_path, fraction_factory)
    by_position = len(args) // 2 if form == "mixed" else 0
    # the named ones in reverse order: a name, not its place, says which argument it is
    kwargs = dict(reversed(list(zip(NAMES[function], args))[by_position:]))
    assert call(mod, function, args[:by_position], kwargs, written) == expected


@pytest.mark.parametrize("function, nargs, left_out, message", [
    ("write_XL", 0, "file_path", "write_XL() takes exactly 2 positional arguments (1 given)"),
    ("filter_XL_FDR", 0, "XL_list", "filter_XL_FDR() takes exactly 2 positional arguments (0 given)"),
    ("filter_pep_pair", 1, "linker_mass", "filter_pep_pair() takes exactly 6 positional arguments (3 given)"),
    ("find_XL_from_mgf", 2, "linker_Short_name_SEQUEST",
     "find_XL_from_mgf() takes exactly 15 positional arguments (14 given)"),
    ("Rescue_PrecMismatch_XLs", 1, "MS2_scan",
     "Rescue_PrecMismatch_XLs() takes exactly 20 positional arguments (9 given)"),
    ("RescuePrecMass", 5, "MS1_dict", "RescuePrecMass() takes exactly 15 positional arguments (8 given)"),
    ("uniq", 0, "seq", "uniq() takes at least 1 positional argument (0 given)"),
])
def test_the_count_names_the_place_of_the_first_argument_left_out(mod, function, nargs, left_out, message):
    # Given before the left-out one and after it, by name, the others count as given up to its place;
    # a name that is no argument does not change that.
    kwargs = {name: None for name in NAMES[function][nargs:] if name != left_out}
    for extra in ({}, {"no_such_argument": 1}):
        with pytest.raises(TypeError) as info:
            getattr(mod, function)(*[None] * nargs, **kwargs, **extra)
        assert str(info.value) == message


def oracle(function):
    """A plain function of the interpreter with the same argument list."""
    namespace = {}
    exec("def %s(%s): pass" % (function, ", ".join(NAMES[function]).replace("idfun", "idfun=None")), namespace)
    return namespace[function]


@pytest.mark.parametrize("function, nargs, kwargs, message", [
    # a name that is no argument: as the interpreter words it, the first wrong name given deciding
    ("filter_pep_pair", 6, {"tolerance": 1}, None),
    ("write_XL", 1, {"file_path": "x", "File_path": 1}, None),
    ("uniq", 1, {"idfun": None, "Seq": 1}, None),
    ("RescuePrecMass", 15, {"é_scan": 1}, None),
    ("uniq", 1, {"bogus": 1, "seq": 2}, None),
    # an argument given by position and again by name: the interpreter's words, and "keyword"
    ("uniq", 1, {"seq": 2, "bogus": 1}, "uniq() got multiple values for keyword argument 'seq'"),
    ("uniq", 2, {"idfun": None}, "uniq() got multiple values for keyword argument 'idfun'"),
    ("Vombrelle_FindXLs_MS2Rescue", 14, {"MS2_charge": 3},
     "Vombrelle_FindXLs_MS2Rescue() got multiple values for keyword argument 'MS2_charge'"),
    # a name that is no text
    ("write_XL", 2, {1: 2}, "write_XL() keywords must be strings"),
    ("filter_XL_FDR", 1, {"FDR_cutoff": 5, b"x": 1}, "filter_XL_FDR() keywords must be strings"),
])
def test_wrong_names(mod, function, nargs, kwargs, message):
    if message is None:   # the interpreter's own message
        with pytest.raises(TypeError) as info:
            oracle(function)(*[None] * nargs, **kwargs)
        message = str(info.value)
    with pytest.raises(TypeError) as info:
        getattr(mod, function)(*[None] * nargs, **kwargs)
    assert str(info.value) == message


def test_a_refused_call_writes_nothing(mod, tmp_path):
    table = str(tmp_path / "table.tsv")
    for args, kwargs in (([[]], {"file_path": table, "bogus": 1}), ([[]], {"file_path": table, "XL_list": []}),
                         ([], {"file_path": table})):
        with pytest.raises(TypeError):
            mod.write_XL(*args, **kwargs)
    assert list(tmp_path.iterdir()) == []
