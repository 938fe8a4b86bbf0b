// Binding of: RescuePrecMass.
#include "module/binding.hpp"
#include "module/function_table.hpp"

namespace vombrelle::module {

void register_precursor_rescue(py::module_& m) {
    define_function(m, function_spec("RescuePrecMass"), not_implemented("RescuePrecMass"));
}

} // namespace vombrelle::module
