// Binding of: Rescue_PrecMismatch_XLs Vombrelle_FindXLs_MS2Rescue.
#include "module/binding.hpp"
#include "module/signatures.hpp"

namespace vombrelle::module {

void register_ms2_rescue(py::module_& m) {
    define_function(m, signature("Rescue_PrecMismatch_XLs"), not_implemented("Rescue_PrecMismatch_XLs"));
    define_function(m, signature("Vombrelle_FindXLs_MS2Rescue"), not_implemented("Vombrelle_FindXLs_MS2Rescue"));
}

} // namespace vombrelle::module
