// Binding of: read_ms_Mgf read_ms_DtaZip.
#include "module/binding.hpp"
#include "module/function_table.hpp"

namespace vombrelle::module {

void register_readers(py::module_& m) {
    define_function(m, function_spec("read_ms_Mgf"), not_implemented("read_ms_Mgf"));
    define_function(m, function_spec("read_ms_DtaZip"), not_implemented("read_ms_DtaZip"));
}

} // namespace vombrelle::module
