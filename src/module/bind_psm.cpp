// Binding of: rescale_qval read_PD_PSM_results_tsv_wrapper read_PD_PSM_results.
//
// The wrapper calls read_PD_PSM_results, and that calls rescale_qval, by name at the moment of the
// call. While both are the module's own, one native read does everything, with the interpreter
// lock released (on a worker thread, unless the protein map is asked through Python code). A
// rebound read_PD_PSM_results gets the file's lines (quotes removed, line ends kept); a rebound rescale_qval is called once per accepted row of each table, table by table,
// after the native read has logged those rows.
#include <optional>
#include <string>
#include <vector>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_psm.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"
#include "readers/psm_table.hpp"

namespace vombrelle::module {

namespace {

// What calling `.strip()` on a line that is no text raises.
std::exception_ptr unreadable_line_error(py::handle item) {
    if (PyBytes_Check(item.ptr()) || PyByteArray_Check(item.ptr())) {
        PyErr_SetString(PyExc_TypeError, "a bytes-like object is required, not 'str'");
    } else {
        PyErr_Format(PyExc_AttributeError, "'%.50s' object has no attribute 'strip'", Py_TYPE(item.ptr())->tp_name);
    }
    return pending_error();
}

py::object read_results(Arguments& a) {
    py::handle pep_matches = a[0];
    // The header row is taken by index before anything else happens.
    py::object header = own(PyObject_GetItem(pep_matches.ptr(), py::int_(0).ptr()));
    if (!PyUnicode_Check(header.ptr())) std::rethrow_exception(unreadable_line_error(header));

    std::vector<py::object> held;  // keeps the texts alive while the core reads them
    std::vector<py::object> kept_bytes;
    std::vector<std::string_view> lines;
    std::optional<std::size_t> unreadable;
    std::exception_ptr unreadable_error;
    for (py::handle item : py::iter(pep_matches)) {
        if (!PyUnicode_Check(item.ptr())) {
            unreadable = lines.size();
            unreadable_error = unreadable_line_error(item);
            break;
        }
        lines.push_back(text_bytes(item, kept_bytes));
        held.push_back(py::reinterpret_borrow<py::object>(item));
    }
    ProteinMap proteins(a[1]);
    const PsmReadOptions options = psm_read_options(a[2], a[3], a[4], a[5], proteins.lookup());
    auto read = [&] { return read_psm_lines(lines, options, unreadable, unreadable_error); };
    return psm_outcome_to_python(proteins.asks_python() ? unlocked(read) : released(read));
}

py::object read_wrapper(Arguments& a) {
    const std::string path = fs_path(a[0]);
    std::optional<Callee> callee;
    std::exception_ptr unbound;
    try {
        callee = lookup_callee("read_PD_PSM_results");
    } catch (py::error_already_set&) {
        unbound = std::current_exception();
    }
    if (callee && callee->native) {
        ProteinMap proteins(a[1]);
        const PsmReadOptions options = psm_read_options(a[2], a[3], a[4], a[5], proteins.lookup());
        auto read = [&] { return read_psm_file(path, options); };
        return psm_outcome_to_python(proteins.asks_python() ? unlocked(read) : released(read));
    }
    // The file is read before the call is made.
    py::list lines = text_list(released([&] { return read_unquoted_lines(path); }));
    if (unbound) std::rethrow_exception(unbound);
    return callee->object(lines, a[1], a[2], a[3], a[4], a[5]);
}

} // namespace

void register_psm(py::module_& m) {
    define_function(m, signature("rescale_qval"), [](Arguments& a) {
        return rescale_qval(HostValue(a[0])).object();
    });
    define_function(m, signature("read_PD_PSM_results_tsv_wrapper"), read_wrapper);
    define_function(m, signature("read_PD_PSM_results"), read_results);
}

} // namespace vombrelle::module
