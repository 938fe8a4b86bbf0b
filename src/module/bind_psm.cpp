// Binding of: rescale_qval read_PD_PSM_results_tsv_wrapper read_PD_PSM_results.
#include "module/binding.hpp"
#include "module/function_table.hpp"

namespace vombrelle::module {

void register_psm(py::module_& m) {
    define_function(m, function_spec("rescale_qval"), not_implemented("rescale_qval"));
    define_function(m, function_spec("read_PD_PSM_results_tsv_wrapper"), not_implemented("read_PD_PSM_results_tsv_wrapper"));
    define_function(m, function_spec("read_PD_PSM_results"), not_implemented("read_PD_PSM_results"));
}

} // namespace vombrelle::module
