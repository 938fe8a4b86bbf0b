// Binding of: FDR_XL_list remove_random filter_XL_FDR filter_pep_pair XL_recurrence_score write_XL.
#include "module/binding.hpp"
#include "module/function_table.hpp"

namespace vombrelle::module {

void register_results(py::module_& m) {
    define_function(m, function_spec("FDR_XL_list"), not_implemented("FDR_XL_list"));
    define_function(m, function_spec("remove_random"), not_implemented("remove_random"));
    define_function(m, function_spec("filter_XL_FDR"), not_implemented("filter_XL_FDR"));
    define_function(m, function_spec("filter_pep_pair"), not_implemented("filter_pep_pair"));
    define_function(m, function_spec("XL_recurrence_score"), not_implemented("XL_recurrence_score"));
    define_function(m, function_spec("write_XL"), not_implemented("write_XL"));
}

} // namespace vombrelle::module
