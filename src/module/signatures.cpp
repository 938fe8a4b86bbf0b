// The signatures of the module's 17 functions, in the order the module binds them.
#include "module/signatures.hpp"

#include <cstring>
#include <stdexcept>

namespace vombrelle::module {

namespace {

constexpr auto One = CallForm::OnePositional;
constexpr auto Any = CallForm::PositionalOrKeyword;

const char* const kReadMgfDoc =
    "Function to read a .mgf spectra file and store it in a dictionary\n"
    "\n"
    "MASS=Monoisotopic\n"
    "BEGIN IONS\n"
    "TITLE=Example.1518.1518.4 File:\"Example.raw\", "
    "NativeID:\"controllerType=0 controllerNumber=1 scan=1518\"\n"
    "PEPMASS=675.85168 21742.94727\n"
    "CHARGE=4+\n"
    "RTINSECONDS=636\n"
    "SCANS=1518\n"
    "222.34184 1301.2\n"
    "228.6232 1397.7\n"
    "236.53786 1373.1\n"
    "246.12883 1485.0\n"
    "275.06757 1322.5\n"
    "280.04694 1418.4\n"
    "301.13858 1386.8\n"
    "END IONS";

const std::vector<Signature>& table() {
    static const std::vector<Signature> all = {
        {"read_ms_Mgf", {"file_path"}, 1, One, kReadMgfDoc},
        {"read_ms_DtaZip", {"file_path"}, 1, One, "Read .dta.zip directly"},
        {"rescale_qval", {"qval"}, 1, One,
         "Simple function used to re-scale percolator q-values from proteome discoverer (PD)'s Peptide "
         "Spectrum Match (PSM) results to be able to use it Vombrelle score calculation"},
        {"read_PD_PSM_results_tsv_wrapper",
         {"file_path", "uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
          "linker_Short_name_SEQUEST"},
         6, Any,
         "Wrapper to throw tsv file content into read_PD_PSM_results.\n"
         "An extra line is added to remove all double quotes in the tsv file"},
        {"read_PD_PSM_results",
         {"pep_matches", "uniprot_dict", "linker_Long", "linker_Short", "linker_Long_name_SEQUEST",
          "linker_Short_name_SEQUEST"},
         6, Any,
         "Function to read the Peptide Spectrum Match(PSM) results from Proteome Discoverer(PD)'s SEQUEST "
         "search. Tested and works with results from PD2.1 and PD2.2."},
        {"find_XL_from_mgf",
         {"MS2_Rescue", "MS1_file_path", "MS2_file_path", "MS3_file_path", "msn_1_MS3_path",
          "PD_result_path", "MS2_PD_result_path", "uniprot_dict", "linker_mass", "linker_Long",
          "linker_Short", "linker_dm", "linker_deficit", "linker_Long_name_SEQUEST",
          "linker_Short_name_SEQUEST"},
         15, Any, "The main Vombrelle function for cross-linking mass spectrometry cross-link search"},
        {"Rescue_PrecMismatch_XLs",
         {"spec_mode", "MS3_a1_masslist", "MS3_a2_masslist", "MS3_b1_masslist", "MS3_b2_masslist",
          "MS3_scan_a1", "MS3_scan_a2", "MS3_scan_b1", "MS3_scan_b2", "MS2_scan", "MS2_mass",
          "MS2_charge", "match_dict_high", "match_dict_med_high", "match_dict_all",
          "MS2_match_dict_high", "MS2_match_dict_med_high", "MS2_match_dict_all", "linker_mass",
          "linker_deficit"},
         20, Any, nullptr},
        {"Vombrelle_FindXLs_MS2Rescue",
         {"MS3_scan_a1", "MS3_scan_a2", "MS3_scan_b1", "MS3_scan_b2", "MS2_match_scan", "MS2_mass",
          "MS2_charge", "match_dict_high", "match_dict_med_high", "match_dict_all",
          "MS2_match_dict_high", "MS2_match_dict_med_high", "MS2_match_dict_all", "linker_mass"},
         14, Any, nullptr},
        {"Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf",
         {"MS2_DeisoDeconv_file_path", "MS2_file_path", "MS3_file_path", "msn_1_MS3_path", "spec_file",
          "linker_dm", "linker_deficit"},
         7, Any, nullptr},
        {"RescuePrecMass",
         {"MS3_scan_a1", "MS3_scan_a2", "MS3_scan_b1", "MS3_scan_b2", "MS3_a1_masslist",
          "MS3_a2_masslist", "MS3_b1_masslist", "MS3_b2_masslist", "MS1_dict", "MS2_match_scan",
          "MS2_conv_mass", "MS2_mass", "MS2_charge", "match_dict_med_high", "linker_deficit"},
         15, Any, nullptr},
        {"uniq", {"seq", "idfun"}, 1, Any, nullptr},
        {"FDR_XL_list", {"XL_list"}, 1, One, nullptr},
        {"remove_random", {"XL_list"}, 1, One, nullptr},
        {"filter_XL_FDR", {"XL_list", "FDR_cutoff"}, 2, Any, nullptr},
        {"filter_pep_pair", {"XL_dict", "mass_dict", "mod_dict", "linker_mass", "prec_tol_ppm", "fraction"},
         6, Any, nullptr},
        {"XL_recurrence_score", {"XL_dict"}, 1, One, nullptr},
        {"write_XL", {"XL_list", "file_path"}, 2, Any, nullptr},
    };
    return all;
}

} // namespace

const Signature& signature(const char* name) {
    for (const auto& s : table()) {
        if (std::strcmp(s.name, name) == 0) return s;
    }
    throw std::logic_error(std::string("no module function named ") + name);
}

} // namespace vombrelle::module
