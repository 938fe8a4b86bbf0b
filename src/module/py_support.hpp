// Small facilities every area of the binding shares: the one spelling of "a failed call of the C
// API raises the pending error", the interpreter lock around blocking work (call_interruptions.hpp),
// pausing the cyclic collector while large result tables are built, the defaultdict objects the
// results are made of, file paths as open() takes them, and two-value unpacking with the
// interpreter's own messages.
#pragma once

#include <pybind11/pybind11.h>

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "module/call_interruptions.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// A new reference as an object; nullptr raises the pending Python error.
py::object own(PyObject* p);

// A status or size from the C API: a negative one raises the pending Python error; otherwise it
// is returned.
template <class Status>
Status checked(Status status) {
    if (status < 0) throw py::error_already_set();
    return status;
}

// The pending Python error, taken as an exception to raise later (where the host would meet it).
std::exception_ptr pending_error();

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

// The interpreter's name of an object's type, as its messages print it.
std::string type_name(py::handle obj);

// collections.defaultdict, looked up once and kept for the interpreter's lifetime (borrowed).
PyObject* defaultdict_type();

// A new, empty defaultdict(str).
py::object new_text_defaultdict();

// A new, empty defaultdict whose missing keys read as a new defaultdict(str).
py::object new_text_defaultdict_table();

// A file path argument as open() takes it (str, bytes or os.PathLike), as the file system's bytes.
// Raises the interpreter's TypeError for anything else.
std::string fs_path(py::handle obj);

// One item of mapping.items() as (key, value). A dict subclass may override items() to hand out
// anything: any other item is refused by `refuse(what)`, which raises, with what = "items() gave
// <type>, not a pair".
template <class Refuse>
std::pair<py::handle, py::handle> require_pair(py::handle item, Refuse&& refuse) {
    if (!PyTuple_Check(item.ptr()) || PyTuple_GET_SIZE(item.ptr()) != 2) {
        refuse("items() gave " + type_name(item) + ", not a pair");
    }
    return {PyTuple_GET_ITEM(item.ptr(), 0), PyTuple_GET_ITEM(item.ptr(), 1)};
}

// `first, second = value`, with the interpreter's errors for anything else.
std::pair<py::object, py::object> unpack_two(py::handle value);

// `a, b, ... = value` for `count` names, likewise.
std::vector<py::object> unpack(py::handle value, std::size_t count);

// A mapping as the module's tables are read: an object with items by key that is neither a text
// nor a sequence (a list also answers [], but by position).
bool is_mapping(py::handle obj);

// mapping[key] without the default-inserting read: null when the key is absent. A dict's own
// storage is asked directly; any other mapping through [] (a KeyError meaning absent).
py::object peek_item(py::handle mapping, py::handle key);

// Whether reading a missing key through mapping[key] inserts it instead of raising KeyError: a
// defaultdict with a factory, a dict subclass with __missing__; not a plain dict. Any other
// mapping is taken to insert: whatever its [] does instead happens where the read is replayed.
bool missing_key_read_inserts(py::handle mapping);

} // namespace vombrelle::module
