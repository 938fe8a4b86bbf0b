// Binding of: rescale_qval read_PD_PSM_results_tsv_wrapper read_PD_PSM_results.
//
// The wrapper calls read_PD_PSM_results, and that calls rescale_qval, by name at the moment of the
// call. While both are the module's own, one native read does everything. A rebound
// read_PD_PSM_results gets the file's lines (quotes removed, line ends kept); a rebound
// rescale_qval is called once per accepted row of each table, table by table, after the native
// read has logged those rows.
#include <optional>
#include <string>
#include <vector>

#include "module/binding.hpp"
#include "module/convert_psm.hpp"
#include "module/function_table.hpp"
#include "module/py_support.hpp"
#include "readers/psm_table.hpp"

namespace vombrelle::module {

namespace {

// ((qval - old_min) * (new_max - new_min)) / (old_max - old_min) + new_min with old 1..0 and new
// 0..1, in the host's arithmetic on whatever object it is given: a float gives 1 - qval, an int a
// float as well (true division), anything else what the host makes of it.
py::object rescale_object(py::handle qval) {
    if (PyFloat_CheckExact(qval.ptr())) return py::float_(rescale_qval(PyFloat_AS_DOUBLE(qval.ptr())));
    static PyObject* one = PyLong_FromLong(1);
    static PyObject* zero = PyLong_FromLong(0);
    static PyObject* minus_one = PyLong_FromLong(-1);
    auto step = [](PyObject* p) {
        if (p == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(p);
    };
    py::object v = step(PyNumber_Subtract(qval.ptr(), one));
    v = step(PyNumber_Multiply(v.ptr(), one));
    v = step(PyNumber_TrueDivide(v.ptr(), minus_one));
    return step(PyNumber_Add(v.ptr(), zero));
}

// What calling `.strip()` on a line that is no text raises.
std::exception_ptr unreadable_line_error(py::handle item) {
    if (PyBytes_Check(item.ptr()) || PyByteArray_Check(item.ptr())) {
        PyErr_SetString(PyExc_TypeError, "a bytes-like object is required, not 'str'");
    } else {
        PyErr_Format(PyExc_AttributeError, "'%.50s' object has no attribute 'strip'", Py_TYPE(item.ptr())->tp_name);
    }
    py::error_already_set e;
    return std::make_exception_ptr(e);
}

py::object read_results(Arguments& a) {
    py::handle pep_matches = a[0];
    // The header row is taken by index before anything else happens.
    py::object header =
        py::reinterpret_steal<py::object>(PyObject_GetItem(pep_matches.ptr(), py::int_(0).ptr()));
    if (!header) throw py::error_already_set();
    if (!PyUnicode_Check(header.ptr())) std::rethrow_exception(unreadable_line_error(header));

    std::vector<py::object> held;  // keeps the texts alive while the core reads them
    std::vector<std::string_view> lines;
    std::optional<std::size_t> unreadable;
    std::exception_ptr unreadable_error;
    for (py::handle item : py::iter(pep_matches)) {
        if (!PyUnicode_Check(item.ptr())) {
            unreadable = lines.size();
            unreadable_error = unreadable_line_error(item);
            break;
        }
        Py_ssize_t n = 0;
        const char* s = PyUnicode_AsUTF8AndSize(item.ptr(), &n);
        if (s == nullptr) throw py::error_already_set();
        held.push_back(py::reinterpret_borrow<py::object>(item));
        lines.emplace_back(s, static_cast<std::size_t>(n));
    }
    PyProteinLookup proteins(a[1]);
    PsmReadOptions options = psm_read_options(a[2], a[3], a[4], a[5], proteins);
    return psm_outcome_to_python(read_psm_lines(lines, options, unreadable, unreadable_error));
}

// The file's lines, for a reader bound in read_PD_PSM_results' place.
py::list file_lines(const std::string& path) {
    std::vector<std::string> lines;
    {
        py::gil_scoped_release unlocked;
        lines = read_unquoted_lines(path);
    }
    py::list out(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) out[i] = py::str(lines[i]);
    return out;
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
        PyProteinLookup proteins(a[1]);
        PsmReadOptions options = psm_read_options(a[2], a[3], a[4], a[5], proteins);
        return psm_outcome_to_python(read_psm_file(path, options));
    }
    py::list lines = file_lines(path);  // the file is read before the call is made
    if (unbound) std::rethrow_exception(unbound);
    return callee->object(lines, a[1], a[2], a[3], a[4], a[5]);
}

} // namespace

void register_psm(py::module_& m) {
    define_function(m, function_spec("rescale_qval"), [](Arguments& a) { return rescale_object(a[0]); });
    define_function(m, function_spec("read_PD_PSM_results_tsv_wrapper"), read_wrapper);
    define_function(m, function_spec("read_PD_PSM_results"), read_results);
}

} // namespace vombrelle::module
