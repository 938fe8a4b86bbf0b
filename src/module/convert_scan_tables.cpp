#include "module/convert_scan_tables.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>
#include <type_traits>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"
#include "search/precursor_rescue.hpp"

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

// A record's "ion_mass": a defaultdict(float) filled entry by entry, so that it grows to the size
// the interpreter's own reading leaves it at. (Filling a presized dict and copying it into the
// defaultdict costs a second table per record, and the presizing doubled some tables.)
py::object peak_map(std::span<const Peak> peaks) {
    const Types& t = types();
    py::object map = own(PyObject_CallOneArg(t.defaultdict, t.float_type));
    for (const Peak& p : peaks) {
        PyObject* mz = PyFloat_FromDouble(p.mz);
        PyObject* intensity = mz == nullptr ? nullptr : PyFloat_FromDouble(p.intensity);
        int rc = -1;
        if (intensity != nullptr) {
            rc = std::isfinite(p.mz) ? _PyDict_SetItem_KnownHash(map.ptr(), mz, intensity, finite_float_hash(p.mz))
                                     : PyDict_SetItem(map.ptr(), mz, intensity);
        }
        Py_XDECREF(mz);
        Py_XDECREF(intensity);
        checked(rc);
    }
    return map;
}

void set_item(PyObject* dict, PyObject* key, const py::object& value) { checked(PyDict_SetItem(dict, key, value.ptr())); }

// An entry of a table or a peak map, refused by `blame` as "<what> whose items() gave ...".
std::pair<py::handle, py::handle> entry_of(py::handle item, const Blame& blame, const char* what) {
    return require_pair(item, [&](const std::string& why) { blame.refuse(std::string(what) + " whose " + why); });
}

std::vector<std::string> texts_from_py(const py::object& v, const Blame& blame, const char* key) {
    if (PyUnicode_Check(v.ptr()) || !PySequence_Check(v.ptr())) {
        blame.refuse(std::string("a record whose \"") + key + "\" is " + type_name(v) + ", not a list of str");
    }
    std::vector<std::string> out;
    for (py::handle item : v) {
        if (!PyUnicode_Check(item.ptr())) {
            blame.refuse(std::string("a record whose \"") + key + "\" holds " + type_name(item) + ", not str");
        }
        out.emplace_back(file_text_bytes(item));  // titles and headers end up in the rescue MGF
    }
    return out;
}

double peak_value(py::handle o, const Blame& blame) {
    if (const std::optional<double> d = to_double(o)) return *d;
    blame.refuse("a peak map holding " + type_name(o) + ", not float");
}

// A record's "ion_mass": any mapping of m/z -> intensity, in its own order.
std::vector<Peak> peaks_from_py(const py::object& ion, const Blame& blame) {
    if (!PyMapping_Check(ion.ptr()) || PySequence_Check(ion.ptr())) {
        blame.refuse("a record whose \"ion_mass\" is " + type_name(ion) + ", not a mapping");
    }
    py::object items = own(PyMapping_Items(ion.ptr()));
    std::vector<Peak> peaks;
    peaks.reserve(static_cast<std::size_t>(PyList_GET_SIZE(items.ptr())));
    for (py::handle p : items) {
        const auto [mz, intensity] = entry_of(p, blame, "a peak map");
        peaks.push_back({peak_value(mz, blame), peak_value(intensity, blame)});
    }
    return peaks;
}

} // namespace

namespace {

// Appends to a record's list the texts it does not hold yet, in order.
void add_new_texts(PyObject* list, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        const py::object item = text_object(text);
        if (checked(PySequence_Contains(list, item.ptr())) == 0) checked(PyList_Append(list, item.ptr()));
    }
}

// The records of `table`, a table the DTA reader made (RecordKeys::TitleHeaderIonMass), added to
// `out` one by one. MGF parts take their own way (add(std::vector<MgfScanPart>&)), and a table a
// rebound reader returned is never converted back: its own object is handed on. From a table not
// held const, each record's data is freed once converted, so that the table and its host objects
// are never both resident whole.
template <class Table>
void add_dta_records(PyObject* out, Table& table) {
    const Types& t = types();
    CollectorPause pause;
    for (auto& [scan, rec] : table) {
        py::object r = new_text_defaultdict();
        set_item(r.ptr(), t.key_title, text_list(rec.titles));
        set_item(r.ptr(), t.key_header, text_list(rec.headers));
        set_item(r.ptr(), t.key_ion_mass, peak_map(rec.peaks));
        if constexpr (!std::is_const_v<Table>) rec = SpectrumRecord{};
        py::object key = own(PyLong_FromLongLong(scan));
        set_item(out, key.ptr(), r);
    }
}

} // namespace

SpectrumTableObject::SpectrumTableObject(bool default_inserting)
    : table_(default_inserting ? new_text_defaultdict_table() : own(PyDict_New())) {}

void SpectrumTableObject::add(SpectrumTable& scans) {
    add_dta_records(table_.ptr(), scans);
    scans = SpectrumTable();
}

void SpectrumTableObject::add(std::vector<MgfScanPart>& parts) {
    const Types& t = types();
    CollectorPause pause;
    for (MgfScanPart& part : parts) {
        const py::object key = own(PyLong_FromLongLong(part.scan));
        PyObject* known = PyDict_GetItemWithError(table_.ptr(), key.ptr());
        if (known == nullptr && PyErr_Occurred()) throw py::error_already_set();
        if (known == nullptr) {
            py::object r = new_text_defaultdict();
            set_item(r.ptr(), t.key_ion_mass, peak_map(part.peaks));
            set_item(r.ptr(), t.key_title, text_list(part.titles));
            set_item(r.ptr(), t.key_header, text_list(part.headers));
            set_item(table_.ptr(), key.ptr(), r);
        } else {
            // The scan read again: its peaks start anew, its titles and headers accumulate.
            set_item(known, t.key_ion_mass, peak_map(part.peaks));
            add_new_texts(PyDict_GetItem(known, t.key_title), part.titles);
            add_new_texts(PyDict_GetItem(known, t.key_header), part.headers);
        }
        part = MgfScanPart{};
    }
    parts.clear();
}

py::object spectrum_table_to_py(const SpectrumTable& table) {
    SpectrumTableObject out(/*default_inserting=*/false);
    add_dta_records(out.table().ptr(), table);
    return out.table();
}

SpectrumTable spectrum_table_from_py(py::handle obj, const char* callee_name) {
    const Blame blame = Blame::result_of(callee_name);
    if (!is_mapping(obj)) blame.refuse(type_name(obj) + ", not a table of scans");
    const Types& t = types();
    py::object items = own(PyMapping_Items(obj.ptr()));
    SpectrumTable table;
    for (py::handle item : items) {
        const auto [key, value] = entry_of(item, blame, "a table");
        // Scans are looked up by int: a float key equal to an int is found by the same lookup;
        // any other key is never found, so it is left out.
        const std::optional<std::int64_t> scan = scan_from_key(key);
        if (!scan) continue;
        if (!is_mapping(value)) blame.refuse("a record of type " + type_name(value) + ", not a mapping");
        SpectrumRecord rec;
        py::object title = peek_item(value, t.key_title);
        py::object header = peek_item(value, t.key_header);
        py::object ion = peek_item(value, t.key_ion_mass);
        bool any = false;
        if (title && !is_empty_text(title)) {
            rec.titles = texts_from_py(title, blame, "title");
            any = true;
        }
        if (header && !is_empty_text(header)) {
            rec.headers = texts_from_py(header, blame, "header");
            any = true;
        }
        if (ion && !is_empty_text(ion)) {
            rec.peaks = peaks_from_py(ion, blame);
            any = true;
        }
        rec.keys = any ? RecordKeys::IonMassTitleHeader : RecordKeys::None;
        table.insert_or_assign(*scan, std::move(rec));
    }
    return table;
}

SpectrumTable ms1_scans_below(py::handle ms1, std::int64_t parent, const Blame& blame) {
    SpectrumTable out;
    Ms1ScansBelow nearest(parent);
    if (nearest.numbers_below() == 0) return out;

    // Asking for every number below the parent costs the gap down to the scans; taking the keys
    // costs the table's size: whichever is smaller.
    const Py_ssize_t size = PyObject_Size(ms1.ptr());
    if (size < 0) PyErr_Clear();
    if (size < 0 || nearest.numbers_below() <= 4 * static_cast<std::int64_t>(size) + 64) {
        nearest.walk_down([&](std::int64_t s) { return checked(PySequence_Contains(ms1.ptr(), py::int_(s).ptr())) == 1; });
    } else {
        for (py::handle key : py::iter(ms1)) {
            if (const std::optional<std::int64_t> s = scan_from_key(key, /*refuse_too_large=*/false)) nearest.offer(*s);
        }
    }

    const Types& t = types();
    const std::vector<std::int64_t>& found = nearest.nearest_first();
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const py::object record = own(PyObject_GetItem(ms1.ptr(), py::int_(*it).ptr()));
        const std::string scan = "scan " + std::to_string(*it);
        if (!is_mapping(record)) blame.refuse("a table whose " + scan + " holds " + type_name(record) + ", not a record");
        const py::object ion = peek_item(record, t.key_ion_mass);
        if (!ion || is_empty_text(ion)) blame.refuse("a table whose " + scan + " has no \"ion_mass\"");
        SpectrumRecord& rec = out[*it];
        rec.keys = RecordKeys::TitleHeaderIonMass;
        rec.peaks = peaks_from_py(ion, blame);
    }
    return out;
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
