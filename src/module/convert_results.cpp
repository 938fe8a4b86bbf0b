#include "module/convert_results.hpp"

#include <utility>

#include "module/convert_number.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"

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
        list.pending = pending_error();
        return list;
    }
    py::object iter = py::reinterpret_steal<py::object>(raw_iter);
    while (true) {
        py::object item = py::reinterpret_steal<py::object>(PyIter_Next(iter.ptr()));
        if (!item) {
            if (PyErr_Occurred()) {
                if (mode == Iteration::Materialized) throw py::error_already_set();
                list.pending = pending_error();
            }
            break;
        }
        // Past a bad item only a materialized read goes on, to meet a failing iteration first.
        if (list.pending) continue;
        if (PyUnicode_Check(item.ptr())) {
            list.texts.push_back(text_bytes(item, list.kept_bytes));
            list.objects.push_back(std::move(item));
            continue;
        }
        list.pending = not_a_text(item, method);
        if (mode == Iteration::Lazy) break;
    }
    return list;
}

ItemFaults TextList::faults() const {
    if (!pending) return {};
    return {{texts.size()}, [this](std::size_t) { raise_pending(); }};
}

ItemFaults ScoreMap::faults() const {
    return {non_texts, [this](std::size_t i) { std::rethrow_exception(not_a_text(keys[i], "split")); }};
}

ScoreMap read_score_map(py::handle mapping) {
    ScoreMap map;
    auto add = [&](py::handle key, py::handle value) {
        std::string_view text;
        if (PyUnicode_Check(key.ptr())) {
            text = text_bytes(key, map.kept_bytes);
        } else {
            map.non_texts.push_back(map.keys.size());
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
    py::object keys = mapping.attr("keys")();
    for (py::handle key : py::iter(keys)) add(key, own(PyObject_GetItem(mapping.ptr(), key.ptr())));
    return map;
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

UpperLimit upper_limit(py::handle limit) {
    return {to_operand(limit), [limit](double value) {
                return checked(PyObject_RichCompareBool(py::float_(value).ptr(), limit.ptr(), Py_LE)) == 1;
            }};
}

ForeignRaise python_raise(const std::vector<py::object>& values) {
    return [&values](std::size_t i, std::int64_t extra) {
        static PyObject* const round = py::object(py::module_::import("builtins").attr("round")).release().ptr();
        py::object raised = values[i] + py::int_(extra);
        return text_string(py::str(py::handle(round)(raised, 2)));
    };
}

HostOperand PyMassLookup::held(py::handle value) {
    HostOperand operand = to_operand(value);
    // The value may go with the map's entry: its type's name is kept here.
    if (!operand.native() && !operand.is_beyond_64_bits()) {
        operand = HostOperand::foreign(foreign_types_.emplace_back(operand.type_name()));
    }
    return operand;
}

HostOperand PyMassLookup::read(py::handle map, std::string_view key, py::object* object) {
    py::object value = own(PyObject_GetItem(map.ptr(), text_object(key).ptr()));
    const HostOperand operand = held(value);
    if (object != nullptr) *object = std::move(value);
    return operand;
}

HostOperand PyMassLookup::residue(std::string_view character) {
    const bool ascii = character.size() == 1 && static_cast<unsigned char>(character[0]) < 128;
    if (ascii) {
        std::optional<HostNumber>& known = ascii_residues_[static_cast<unsigned char>(character[0])];
        if (known) return HostOperand::of(*known);
        const HostOperand value = read(mass_dict_, character);
        if (value.native()) known = value.number();
        return value;
    }
    return read_cached(residues_, mass_dict_, character);
}

HostOperand PyMassLookup::atom(std::string_view key) { return read_cached(atoms_, mod_dict_, key); }

HostOperand PyMassLookup::water_and_proton() {
    // "mm_H" is read once here, as the sum's first read: the core computes with a number it holds;
    // any other value takes the interpreter's own * and +, with "mm_O" and "mm_H" read in turn.
    py::object object;
    const HostOperand mm_h = read_cached(atoms_, mod_dict_, "mm_H", &object);
    if (mm_h.native() || mm_h.is_beyond_64_bits()) return HostOperand::of(vombrelle::water_and_proton(mm_h, *this));
    bool first = true;
    const HostValue sum = vombrelle::water_and_proton([&](std::string_view key) {
        if (std::exchange(first, false)) return HostValue(object);
        return HostValue(own(PyObject_GetItem(mod_dict_.ptr(), text_object(key).ptr())));
    });
    return held(sum.object());
}

HostOperand PyMassLookup::read_cached(std::unordered_map<std::string, HostNumber>& cache, py::handle map,
                                      std::string_view key_view, py::object* object) {
    std::string key(key_view);
    auto it = cache.find(key);
    if (it != cache.end()) return HostOperand::of(it->second);
    const HostOperand value = read(map, key, object);
    if (value.native()) cache.emplace(std::move(key), value.number());
    return value;
}

} // namespace vombrelle::module
