// Texts across the module boundary: the one place where the interpreter's str becomes the core's
// UTF-8 and back.
//
// The interpreter's str may hold lone surrogates (a file name or a line decoded with
// surrogateescape, for instance). They travel as their "surrogatepass" bytes: one three-byte
// sequence per code point, which no other character shares and which holds no ASCII byte. So the
// core's splits, strips and comparisons treat them as the interpreter treats those code points
// (none is whitespace, a tab or ";"), and every text comes back with the code points it went in
// with, a surrogate pair as two code points.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>
#include <vector>

#include "module/py_support.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// The UTF-8 of a str. The view lives as long as the str (whose UTF-8 the interpreter caches) or,
// for a str holding lone surrogates, as long as `keep`, which then holds its bytes.
std::string_view text_bytes(py::handle text, std::vector<py::object>& keep);

// The same, copied: for short texts (labels, names, formatted numbers).
std::string text_string(py::handle text);

// The UTF-8 of a str bound for a UTF-8 file, which has no form for a lone surrogate: such a text
// raises the codec's UnicodeEncodeError, as writing it would. The view lives as long as the str.
std::string_view file_text_bytes(py::handle text);

// Whether `value` is the empty str: what a default-inserting read of a missing key leaves in a
// table. A null handle (an absent value) is not.
inline bool is_empty_text(py::handle value) {
    return value && PyUnicode_Check(value.ptr()) && PyUnicode_GET_LENGTH(value.ptr()) == 0;
}

// A new str from the core's UTF-8 (new reference).
PyObject* new_text(std::string_view bytes);

// The same, owned.
inline py::object text_object(std::string_view bytes) { return own(new_text(bytes)); }

// A new list of str.
template <class Texts>
py::list text_list(const Texts& texts) {
    py::list out(texts.size());
    Py_ssize_t i = 0;
    for (std::string_view t : texts) PyList_SET_ITEM(out.ptr(), i++, new_text(t));
    return out;
}

} // namespace vombrelle::module
