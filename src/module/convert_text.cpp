#include "module/convert_text.hpp"

namespace vombrelle::module {

std::string_view text_bytes(py::handle text, std::vector<py::object>& keep) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size)) {
        return {data, static_cast<std::size_t>(size)};
    }
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw py::error_already_set();
    PyErr_Clear();
    py::object bytes = own(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogatepass"));
    const std::string_view view(PyBytes_AS_STRING(bytes.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr())));
    keep.push_back(std::move(bytes));
    return view;
}

std::string text_string(py::handle text) {
    std::vector<py::object> keep;
    return std::string(text_bytes(text, keep));
}

std::string_view file_text_bytes(py::handle text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (data == nullptr) throw py::error_already_set();
    return {data, static_cast<std::size_t>(size)};
}

PyObject* new_text(std::string_view bytes) {
    return own(PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "surrogatepass")).release().ptr();
}

} // namespace vombrelle::module
