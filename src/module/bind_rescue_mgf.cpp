// Binding of: Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf.
#include "module/binding.hpp"
#include "module/function_table.hpp"

namespace vombrelle::module {

void register_rescue_mgf(py::module_& m) {
    define_function(m, function_spec("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"), not_implemented("Vombrelle_Generate_Rescue_PrecMismatch_MS2mgf_Using_mgf"));
}

} // namespace vombrelle::module
