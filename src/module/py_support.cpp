#include "module/py_support.hpp"

namespace vombrelle::module {

namespace {

PyObject* str_type() { return reinterpret_cast<PyObject*>(&PyUnicode_Type); }

// functools.partial(collections.defaultdict, str): the default factory of a table whose missing
// key reads as a new defaultdict(str). A partial of the type itself needs no function of our own
// and creates the entry at C speed. Made once, kept for the interpreter's lifetime (borrowed).
PyObject* text_defaultdict_factory() {
    static PyObject* const factory =
        py::module_::import("functools").attr("partial")(py::handle(defaultdict_type()), py::handle(str_type()))
            .release()
            .ptr();
    return factory;
}

} // namespace

py::object own(PyObject* p) {
    if (p == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(p);
}

std::exception_ptr pending_error() { return std::make_exception_ptr(py::error_already_set()); }

std::string type_name(py::handle obj) { return Py_TYPE(obj.ptr())->tp_name; }

PyObject* defaultdict_type() {
    static PyObject* const type = py::object(py::module_::import("collections").attr("defaultdict")).release().ptr();
    return type;
}

py::object new_text_defaultdict() { return own(PyObject_CallOneArg(defaultdict_type(), str_type())); }

py::object new_text_defaultdict_table() {
    return own(PyObject_CallOneArg(defaultdict_type(), text_defaultdict_factory()));
}

std::string fs_path(py::handle obj) {
    py::object path = own(PyOS_FSPath(obj.ptr()));
    if (PyUnicode_Check(path.ptr())) path = own(PyUnicode_EncodeFSDefault(path.ptr()));
    char* data = nullptr;
    Py_ssize_t n = 0;
    checked(PyBytes_AsStringAndSize(path.ptr(), &data, &n));
    std::string out(data, static_cast<std::size_t>(n));
    // The C library would open the name up to the NUL: another file than the one asked for.
    if (out.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
    return out;
}

std::vector<py::object> unpack(py::handle value, std::size_t count) {
    PyObject* it = PyObject_GetIter(value.ptr());
    if (it == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            throw py::type_error("cannot unpack non-iterable " + type_name(value) + " object");
        }
        throw py::error_already_set();
    }
    py::object iter = py::reinterpret_steal<py::object>(it);
    std::vector<py::object> items(count);
    for (std::size_t i = 0; i < count; ++i) {
        items[i] = py::reinterpret_steal<py::object>(PyIter_Next(iter.ptr()));
        if (!items[i]) {
            if (PyErr_Occurred()) throw py::error_already_set();
            throw py::value_error("not enough values to unpack (expected " + std::to_string(count) + ", got " +
                                  std::to_string(i) + ")");
        }
    }
    py::object extra = py::reinterpret_steal<py::object>(PyIter_Next(iter.ptr()));
    if (extra) throw py::value_error("too many values to unpack (expected " + std::to_string(count) + ")");
    if (PyErr_Occurred()) throw py::error_already_set();
    return items;
}

std::pair<py::object, py::object> unpack_two(py::handle value) {
    std::vector<py::object> items = unpack(value, 2);
    return {std::move(items[0]), std::move(items[1])};
}

bool is_mapping(py::handle obj) {
    return PyMapping_Check(obj.ptr()) && !PyUnicode_Check(obj.ptr()) && !PySequence_Check(obj.ptr());
}

py::object peek_item(py::handle mapping, py::handle key) {
    if (PyDict_Check(mapping.ptr())) {
        PyObject* v = PyDict_GetItemWithError(mapping.ptr(), key.ptr());
        if (v == nullptr && PyErr_Occurred()) throw py::error_already_set();
        return py::reinterpret_borrow<py::object>(v);
    }
    PyObject* v = PyObject_GetItem(mapping.ptr(), key.ptr());
    if (v == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_KeyError)) throw py::error_already_set();
        PyErr_Clear();
    }
    return py::reinterpret_steal<py::object>(v);
}

bool missing_key_read_inserts(py::handle mapping) {
    PyObject* m = mapping.ptr();
    if (PyDict_CheckExact(m)) return false;
    if (PyObject_TypeCheck(m, reinterpret_cast<PyTypeObject*>(defaultdict_type()))) {
        return !py::getattr(mapping, "default_factory").is_none();
    }
    if (PyDict_Check(m)) return PyObject_HasAttrString(reinterpret_cast<PyObject*>(Py_TYPE(m)), "__missing__") == 1;
    return true;
}

} // namespace vombrelle::module
