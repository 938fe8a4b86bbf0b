// The extension module: its documentation, the standard-library facilities in its namespace and
// its 17 functions, in that order.
#include <pybind11/pybind11.h>

#include "module/binding.hpp"
#include "module/call_interruptions.hpp"

namespace py = pybind11;
using namespace vombrelle::module;

PYBIND11_MODULE(Vombrelle1pt0_Submission, m) {
    m.doc() =
        "Contains all the functions used in Vombrelle v1.0\n"
        "Purpose: Functions used to identify cross-links from cross-linking (XL-MS) mass spectrometry data.";
    py::options options;
    options.disable_function_signatures();

    m.attr("defaultdict") = py::module_::import("collections").attr("defaultdict");
    m.attr("combinations") = py::module_::import("itertools").attr("combinations");
    m.attr("re") = py::module_::import("re");
    m.attr("zipfile") = py::module_::import("zipfile");
    m.attr("io") = py::module_::import("io");

    register_error_translation();
    register_main_thread();
    register_readers(m);
    register_psm(m);
    register_search(m);
    register_ms2_rescue(m);
    register_rescue_mgf(m);
    register_precursor_rescue(m);
    register_uniq(m);
    register_results(m);
}
