// Small facilities every area of the binding shares: pausing the cyclic collector while large
// result tables are built, the defaultdict objects the results are made of, file paths as open()
// takes them, and two-value unpacking with the interpreter's own messages.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>
#include <utility>

namespace vombrelle::module {

namespace py = pybind11;

// Holds the cyclic collector off while result tables are built. The records, lists and maps made
// there hold only texts and numbers, so they form no cycles; hundreds of thousands of new
// containers would otherwise set the collector off again and again over the same, still growing,
// tables. No Python code runs meanwhile, and the collector's state is restored on the way out.
class CollectorPause {
public:
    // PyGC_Disable returns the previous state: 1 when the collector was enabled, 0 when not.
    CollectorPause() : was_enabled_(PyGC_Disable() == 1) {}
    ~CollectorPause() {
        if (was_enabled_) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    bool was_enabled_;
};

// A new reference as an object; nullptr throws the pending Python error.
py::object own(PyObject* p);

// A new str from UTF-8 (new reference); throws the pending error when the bytes do not decode.
PyObject* new_text(std::string_view utf8);

// The interpreter's name of an object's type, as its messages print it.
std::string type_name(py::handle obj);

// collections.defaultdict, looked up once and kept for the interpreter's lifetime (borrowed).
PyObject* defaultdict_type();

// functools.partial(collections.defaultdict, str): the default factory of a table whose missing
// key reads as a new defaultdict(str). A partial of the type itself needs no function of our own
// and creates the entry at C speed. Made once, kept for the interpreter's lifetime (borrowed).
PyObject* text_defaultdict_factory();

// A new, empty defaultdict(str).
py::object new_text_defaultdict();

// A new, empty defaultdict whose missing keys read as a new defaultdict(str).
py::object new_text_defaultdict_table();

// A file path argument as open() takes it (str, bytes or os.PathLike), as the file system's bytes.
// Raises the interpreter's TypeError for anything else.
std::string fs_path(py::handle obj);

// `first, second = value`, with the interpreter's errors for anything else.
std::pair<py::object, py::object> unpack_two(py::handle value);

} // namespace vombrelle::module
