// Binding of: read_ms_Mgf read_ms_DtaZip. Both readers run with the interpreter lock released.
#include "module/binding.hpp"
#include "module/convert_scan_tables.hpp"
#include "module/named_reads.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "readers/dta_zip.hpp"
#include "readers/mgf.hpp"

namespace vombrelle::module {

void register_readers(py::module_& m) {
    define_function(m, signature("read_ms_Mgf"), [](Arguments& args) -> py::object {
        const std::string path = fs_path(args[0]);
        const SpectrumTable table = unlocked([&] { return read_mgf(path); });
        return spectrum_table_to_py(table, /*default_inserting=*/true);
    });
    define_function(m, signature("read_ms_DtaZip"), [](Arguments& args) -> py::object {
        const std::string path = zip_path_from_py(args[0]);
        const SpectrumTable table = unlocked([&] { return read_dta_zip(path, print_names); });
        return spectrum_table_to_py(table, /*default_inserting=*/false);
    });
}

} // namespace vombrelle::module
