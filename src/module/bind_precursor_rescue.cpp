// Binding of: RescuePrecMass.
#include "module/binding.hpp"
#include "module/signatures.hpp"

namespace vombrelle::module {

void register_precursor_rescue(py::module_& m) {
    define_function(m, signature("RescuePrecMass"), not_implemented("RescuePrecMass"));
}

} // namespace vombrelle::module
