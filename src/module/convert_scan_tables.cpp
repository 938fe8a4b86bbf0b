#include "module/convert_scan_tables.hpp"

#include <cmath>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"

namespace vombrelle::module {

namespace {

struct Types {
    PyObject* defaultdict;
    PyObject* float_type;
    PyObject* key_title;
    PyObject* key_header;
    PyObject* key_ion_mass;
};

const Types& types() {
    static const Types t = [] {
        Types x{};
        x.defaultdict = defaultdict_type();
        x.float_type = reinterpret_cast<PyObject*>(&PyFloat_Type);
        x.key_title = own(PyUnicode_InternFromString("title")).release().ptr();
        x.key_header = own(PyUnicode_InternFromString("header")).release().ptr();
        x.key_ion_mass = own(PyUnicode_InternFromString("ion_mass")).release().ptr();
        return x;
    }();
    return t;
}

py::object peak_map(const std::vector<Peak>& peaks) {
    const Types& t = types();
    // Filled as a dict sized once, then handed to defaultdict(float, ...), whose update from an
    // exact dict copies the entries with their stored hashes: cheaper than growing the
    // defaultdict entry by entry.
    py::object plain = own(_PyDict_NewPresized(static_cast<Py_ssize_t>(peaks.size())));
    for (const Peak& p : peaks) {
        const py::object k = own(PyFloat_FromDouble(p.mz));
        const py::object v = own(PyFloat_FromDouble(p.intensity));
        checked(PyDict_SetItem(plain.ptr(), k.ptr(), v.ptr()));
    }
    if (peaks.empty()) return own(PyObject_CallOneArg(t.defaultdict, t.float_type));
    return own(PyObject_CallFunctionObjArgs(t.defaultdict, t.float_type, plain.ptr(), nullptr));
}

void set_item(PyObject* dict, PyObject* key, const py::object& value) { checked(PyDict_SetItem(dict, key, value.ptr())); }

// A record's value without the default-inserting read: nullptr when absent.
py::object peek(py::handle record, PyObject* key) {
    if (PyDict_Check(record.ptr())) {
        PyObject* v = PyDict_GetItemWithError(record.ptr(), key);
        if (v == nullptr && PyErr_Occurred()) throw py::error_already_set();
        return py::reinterpret_borrow<py::object>(v);
    }
    PyObject* v = PyObject_GetItem(record.ptr(), key);
    if (v == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_KeyError)) throw py::error_already_set();
        PyErr_Clear();
    }
    return py::reinterpret_steal<py::object>(v);
}

bool is_empty_text(const py::object& v) {
    return v && PyUnicode_Check(v.ptr()) && PyUnicode_GET_LENGTH(v.ptr()) == 0;
}

// items() of a dict subclass may be overridden to hand out anything: only (key, value) pairs
// are read as entries.
void check_pair(py::handle item, const char* callee, const char* what) {
    if (!PyTuple_Check(item.ptr()) || PyTuple_GET_SIZE(item.ptr()) != 2) {
        bad_callee_result(callee, std::string(what) + " whose items() gave " + type_name(item) + ", not a pair");
    }
}

std::vector<std::string> texts_from_py(const py::object& v, const char* callee, const char* key) {
    if (PyUnicode_Check(v.ptr()) || !PySequence_Check(v.ptr())) {
        bad_callee_result(callee, std::string("a record whose \"") + key + "\" is " + type_name(v) + ", not a list of str");
    }
    std::vector<std::string> out;
    for (py::handle item : v) {
        if (!PyUnicode_Check(item.ptr())) {
            bad_callee_result(callee, std::string("a record whose \"") + key + "\" holds " + type_name(item) + ", not str");
        }
        out.emplace_back(file_text_bytes(item));  // titles and headers end up in the rescue MGF
    }
    return out;
}

double number_from_py(py::handle o, const char* callee) {
    if (const std::optional<double> d = to_double(o)) return *d;
    bad_callee_result(callee, "a peak map holding " + type_name(o) + ", not float");
}

} // namespace

py::object spectrum_table_to_py(const SpectrumTable& table, bool default_inserting) {
    const Types& t = types();
    CollectorPause pause;
    py::object out = default_inserting ? new_text_defaultdict_table()
                                       : own(PyDict_New());
    for (const auto& [scan, rec] : table) {
        py::object r = new_text_defaultdict();
        switch (rec.keys) {
            case RecordKeys::None:
                break;
            case RecordKeys::IonMassTitleHeader:
                set_item(r.ptr(), t.key_ion_mass, peak_map(rec.peaks));
                set_item(r.ptr(), t.key_title, text_list(rec.titles));
                set_item(r.ptr(), t.key_header, text_list(rec.headers));
                break;
            case RecordKeys::TitleHeaderIonMass:
                set_item(r.ptr(), t.key_title, text_list(rec.titles));
                set_item(r.ptr(), t.key_header, text_list(rec.headers));
                set_item(r.ptr(), t.key_ion_mass, peak_map(rec.peaks));
                break;
        }
        py::object key = own(PyLong_FromLongLong(scan));
        set_item(out.ptr(), key.ptr(), r);
    }
    return out;
}

SpectrumTable spectrum_table_from_py(py::handle obj, const char* callee_name) {
    if (!PyMapping_Check(obj.ptr()) || PyUnicode_Check(obj.ptr()) || PySequence_Check(obj.ptr())) {
        bad_callee_result(callee_name, type_name(obj) + ", not a table of scans");
    }
    const Types& t = types();
    py::object items = own(PyMapping_Items(obj.ptr()));
    SpectrumTable table;
    for (py::handle item : items) {
        check_pair(item, callee_name, "a table");
        py::handle key = PyTuple_GET_ITEM(item.ptr(), 0);
        py::handle value = PyTuple_GET_ITEM(item.ptr(), 1);
        // Scans are looked up by int: a float key equal to an int is found by the same lookup;
        // any other key is never found, so it is left out.
        // Scan numbers beyond 64 bits are refused (OverflowError), as everywhere in the module.
        std::int64_t scan;
        if (PyLong_Check(key.ptr())) {
            const HostOperand number = to_operand(key);
            number.refuse_if_too_large();
            scan = number.number.as_int();
        } else if (PyFloat_Check(key.ptr())) {
            double d = PyFloat_AS_DOUBLE(key.ptr());
            if (!(std::floor(d) == d) || std::fabs(d) > 9.0e18) continue;
            scan = static_cast<std::int64_t>(d);
        } else {
            continue;
        }
        if (!PyMapping_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PySequence_Check(value.ptr())) {
            bad_callee_result(callee_name, "a record of type " + type_name(value) + ", not a mapping");
        }
        SpectrumRecord rec;
        py::object title = peek(value, t.key_title);
        py::object header = peek(value, t.key_header);
        py::object ion = peek(value, t.key_ion_mass);
        bool any = false;
        if (title && !is_empty_text(title)) {
            rec.titles = texts_from_py(title, callee_name, "title");
            any = true;
        }
        if (header && !is_empty_text(header)) {
            rec.headers = texts_from_py(header, callee_name, "header");
            any = true;
        }
        if (ion && !is_empty_text(ion)) {
            if (!PyMapping_Check(ion.ptr()) || PySequence_Check(ion.ptr())) {
                bad_callee_result(callee_name, "a record whose \"ion_mass\" is " + type_name(ion) + ", not a mapping");
            }
            py::object peaks = own(PyMapping_Items(ion.ptr()));
            rec.peaks.reserve(static_cast<std::size_t>(PyList_GET_SIZE(peaks.ptr())));
            for (py::handle p : peaks) {
                check_pair(p, callee_name, "a peak map");
                rec.peaks.push_back({number_from_py(PyTuple_GET_ITEM(p.ptr(), 0), callee_name),
                                     number_from_py(PyTuple_GET_ITEM(p.ptr(), 1), callee_name)});
            }
            any = true;
        }
        rec.keys = any ? RecordKeys::IonMassTitleHeader : RecordKeys::None;
        table.insert_or_assign(scan, std::move(rec));
    }
    return table;
}

std::string zip_path_from_py(py::handle obj) {
    py::object p = py::reinterpret_borrow<py::object>(obj);
    if (!PyUnicode_Check(p.ptr()) && PyObject_HasAttrString(p.ptr(), "__fspath__")) {
        p = own(PyOS_FSPath(p.ptr()));
    }
    // Anything but a text is taken for an open file, whose first use is a seek.
    if (!PyUnicode_Check(p.ptr()) && !PyObject_HasAttrString(p.ptr(), "seek")) {
        throw py::attribute_error(std::string("'") + type_name(p) + "' object has no attribute 'seek'");
    }
    return fs_path(p);
}

} // namespace vombrelle::module
