#include "module/convert_results.hpp"

#include "module/py_support.hpp"

#include <cmath>

namespace vombrelle::module {

std::exception_ptr not_a_text(py::handle item, const char* method) {
    try {
        const py::str tab("\t");
        if (std::string_view(method) == "strip") {
            item.attr("strip")().attr("split")(tab);
        } else {
            item.attr("split")(tab);
        }
    } catch (py::error_already_set&) {
        return std::current_exception();
    }
    return std::make_exception_ptr(py::type_error("expected a text line, not '" + type_name(item) + "'"));
}

namespace {

// The UTF-8 of a text object (cached in the object); false with the interpreter's error set
// when the text holds lone surrogates.
bool utf8_view(py::handle text, std::string_view& out) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (data == nullptr) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

HostNumber host_number(py::handle value, bool& ok) {
    ok = true;
    if (PyFloat_Check(value.ptr())) return HostNumber(PyFloat_AS_DOUBLE(value.ptr()));
    if (PyLong_Check(value.ptr())) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow == 0 && !(v == -1 && PyErr_Occurred())) return HostNumber(static_cast<std::int64_t>(v));
        PyErr_Clear();
    }
    ok = false;
    return HostNumber();
}

py::object python_sorted_positions(py::list values) {
    py::object builtins = py::module_::import("builtins");
    return builtins.attr("sorted")(builtins.attr("range")(values.size()), py::arg("key") = values.attr("__getitem__"),
                                   py::arg("reverse") = true);
}

std::vector<std::size_t> to_positions(py::handle positions) {
    std::vector<std::size_t> out;
    for (py::handle p : positions) out.push_back(p.cast<std::size_t>());
    return out;
}

} // namespace

TextList read_texts(py::handle iterable, const char* method, Iteration mode) {
    TextList list;
    PyObject* raw_iter = PyObject_GetIter(iterable.ptr());
    if (raw_iter == nullptr) {
        if (mode == Iteration::Materialized) throw py::error_already_set();
        list.pending = std::make_exception_ptr(py::error_already_set());
        return list;
    }
    py::object iter = py::reinterpret_steal<py::object>(raw_iter);
    while (true) {
        py::object item = py::reinterpret_steal<py::object>(PyIter_Next(iter.ptr()));
        if (!item) {
            if (PyErr_Occurred()) {
                if (mode == Iteration::Materialized) throw py::error_already_set();
                list.pending = std::make_exception_ptr(py::error_already_set());
            }
            break;
        }
        // Past a bad item only a materialized read goes on, to meet a failing iteration first.
        if (list.pending) continue;
        std::string_view text;
        if (!PyUnicode_Check(item.ptr())) {
            list.pending = not_a_text(item, method);
        } else if (!utf8_view(item, text)) {
            list.pending = std::make_exception_ptr(py::error_already_set());
        } else {
            list.texts.push_back(text);
            list.objects.push_back(std::move(item));
            continue;
        }
        if (mode == Iteration::Lazy) break;
    }
    return list;
}

ScoreMap read_score_map(py::handle mapping) {
    ScoreMap map;
    auto add = [&](py::handle key, py::handle value) {
        std::string_view text;
        if (!PyUnicode_Check(key.ptr())) {
            map.non_texts.push_back(map.keys.size());
        } else if (!utf8_view(key, text)) {
            throw py::error_already_set();
        }
        map.keys.push_back(py::reinterpret_borrow<py::object>(key));
        map.values.push_back(py::reinterpret_borrow<py::object>(value));
        map.texts.push_back(text);
        map.scores.push_back(to_operand(value));
    };
    if (PyDict_CheckExact(mapping.ptr()) || Py_TYPE(mapping.ptr()) == reinterpret_cast<PyTypeObject*>(defaultdict_type())) {
        // A plain dict (or a defaultdict, which iterates the same way): no Python code can run.
        const Py_ssize_t n = PyDict_Size(mapping.ptr());
        map.keys.reserve(n);
        map.values.reserve(n);
        map.texts.reserve(n);
        map.scores.reserve(n);
        PyObject *key = nullptr, *value = nullptr;
        Py_ssize_t pos = 0;
        while (PyDict_Next(mapping.ptr(), &pos, &key, &value)) add(key, value);
        return map;
    }
    for (py::handle key : py::iter(mapping)) {
        py::object value = py::reinterpret_steal<py::object>(PyObject_GetItem(mapping.ptr(), key.ptr()));
        if (!value) throw py::error_already_set();
        add(key, value);
    }
    return map;
}

HostOperand to_operand(py::handle value) {
    bool ok = false;
    HostNumber n = host_number(value, ok);
    if (ok) return HostOperand{n, {}};
    return HostOperand{HostNumber(), Py_TYPE(value.ptr())->tp_name};
}

py::object to_python(HostNumber n) {
    if (n.is_int()) return py::int_(n.as_int());
    return py::float_(n.as_double());
}

py::list to_str_list(const std::vector<std::string>& texts) {
    py::list out(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) out[i] = py::str(texts[i].data(), texts[i].size());
    return out;
}

py::list to_str_list(const std::vector<std::string_view>& texts) {
    py::list out(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) out[i] = py::str(texts[i].data(), texts[i].size());
    return out;
}

std::string utf8_of(py::handle text) {
    std::string_view view;
    if (!utf8_view(text, view)) throw py::error_already_set();
    return std::string(view);
}

DescendingSort python_sort(const std::vector<py::object>& values) {
    return [&values](std::span<const HostNumber>) {
        py::list list(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) list[i] = values[i];
        return to_positions(python_sorted_positions(list));
    };
}

DescendingSort python_number_sort() {
    return [](std::span<const HostNumber> keys) {
        py::list list(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) list[i] = to_python(keys[i]);
        return to_positions(python_sorted_positions(list));
    };
}

std::function<bool(double)> host_at_or_below(py::handle limit) {
    return [limit](double value) {
        const int at_or_below = PyObject_RichCompareBool(py::float_(value).ptr(), limit.ptr(), Py_LE);
        if (at_or_below < 0) throw py::error_already_set();
        return at_or_below == 1;
    };
}

ForeignRaise python_raise(const std::vector<py::object>& values) {
    return [&values](std::size_t i, std::int64_t extra) {
        static PyObject* const round = py::object(py::module_::import("builtins").attr("round")).release().ptr();
        py::object raised = values[i] + py::int_(extra);
        return utf8_of(py::str(py::handle(round)(raised, 2)));
    };
}

HostOperand PyMassLookup::read(py::handle map, std::string_view key) {
    py::object value = py::reinterpret_steal<py::object>(
        PyObject_GetItem(map.ptr(), py::str(key.data(), key.size()).ptr()));
    if (!value) throw py::error_already_set();
    bool ok = false;
    const HostNumber n = host_number(value, ok);
    if (ok) return {n, {}};
    return {HostNumber(), foreign_types_.emplace_back(type_name(value))};
}

HostOperand PyMassLookup::residue(std::string_view character) {
    const bool ascii = character.size() == 1 && static_cast<unsigned char>(character[0]) < 128;
    if (ascii) {
        std::optional<HostNumber>& known = ascii_residues_[static_cast<unsigned char>(character[0])];
        if (known) return {*known, {}};
        const HostOperand value = read(mass_dict_, character);
        if (value.native()) known = value.number;
        return value;
    }
    std::string key(character);
    auto it = residues_.find(key);
    if (it != residues_.end()) return {it->second, {}};
    const HostOperand value = read(mass_dict_, key);
    if (value.native()) residues_.emplace(std::move(key), value.number);
    return value;
}

HostOperand PyMassLookup::atom(std::string_view key_view) {
    std::string key(key_view);
    auto it = atoms_.find(key);
    if (it != atoms_.end()) return {it->second, {}};
    const HostOperand value = read(mod_dict_, key);
    if (value.native()) atoms_.emplace(std::move(key), value.number);
    return value;
}

} // namespace vombrelle::module
