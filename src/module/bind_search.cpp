// Binding of: find_XL_from_mgf.
#include "module/binding.hpp"
#include "module/signatures.hpp"

namespace vombrelle::module {

void register_search(py::module_& m) {
    define_function(m, signature("find_XL_from_mgf"), not_implemented("find_XL_from_mgf"));
}

} // namespace vombrelle::module
