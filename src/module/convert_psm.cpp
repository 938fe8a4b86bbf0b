#include "module/convert_psm.hpp"

#include "module/binding.hpp"
#include "module/py_support.hpp"

#include <string_view>

namespace vombrelle::module {

namespace {

void check(int rc) {
    if (rc < 0) throw py::error_already_set();
}

std::exception_ptr capture_python_error() {
    py::error_already_set e;
    return std::make_exception_ptr(e);
}

std::string_view utf8(PyObject* text) {
    Py_ssize_t n = 0;
    const char* s = PyUnicode_AsUTF8AndSize(text, &n);
    if (s == nullptr) throw py::error_already_set();
    return {s, static_cast<std::size_t>(n)};
}

// Objects made once per interpreter and kept for its lifetime.
struct Shared {
    PyObject* pep_seq;
    PyObject* selected_pep;
    PyObject* ptn_accesion;
    PyObject* ptn_description;
    PyObject* pep_mass;
    PyObject* confidence;
    PyObject* qval;
    PyObject* high;
    PyObject* medium;
    PyObject* low;
};

const Shared& shared() {
    static const Shared* s = [] {
        auto* n = new Shared;
        n->pep_seq = PyUnicode_InternFromString("pep_seq");
        n->selected_pep = PyUnicode_InternFromString("selected_pep");
        n->ptn_accesion = PyUnicode_InternFromString("ptn_accesion");
        n->ptn_description = PyUnicode_InternFromString("ptn_description");
        n->pep_mass = PyUnicode_InternFromString("pep_mass");
        n->confidence = PyUnicode_InternFromString("confidence");
        n->qval = PyUnicode_InternFromString("qval");
        n->high = PyUnicode_InternFromString("High");
        n->medium = PyUnicode_InternFromString("Medium");
        n->low = PyUnicode_InternFromString("Low");
        return n;
    }();
    return *s;
}

// Sets d[key] = value and gives up the reference to value.
void set_stolen(PyObject* d, PyObject* key, PyObject* value) {
    int rc = PyDict_SetItem(d, key, value);
    Py_DECREF(value);
    check(rc);
}

PyObject* list_of_one(PyObject* item) {
    PyObject* l = PyList_New(1);
    if (l == nullptr) throw py::error_already_set();
    Py_INCREF(item);
    PyList_SET_ITEM(l, 0, item);
    return l;
}

PyObject* number(const HostNumber& n) {
    PyObject* p = n.is_int() ? PyLong_FromLongLong(n.as_int()) : PyFloat_FromDouble(n.as_double());
    if (p == nullptr) throw py::error_already_set();
    return p;
}

// One str object per row text, shared by every table that holds the row.
class RowObjects {
public:
    explicit RowObjects(const PsmRowStore& rows) : rows_(rows), cache_(rows.size() * 4, nullptr) {}
    ~RowObjects() {
        for (PyObject* p : cache_) Py_XDECREF(p);
    }
    RowObjects(const RowObjects&) = delete;
    RowObjects& operator=(const RowObjects&) = delete;

    PyObject* sequence(std::uint32_t row) { return get(row, 0, rows_[row].sequence); }
    PyObject* accessions(std::uint32_t row) { return get(row, 1, rows_[row].accessions); }
    PyObject* descriptions(std::uint32_t row) { return get(row, 2, rows_[row].descriptions); }
    PyObject* confidence(std::uint32_t row) {
        std::string_view c = rows_[row].confidence;
        if (c == "High") return shared().high;
        if (c == "Medium") return shared().medium;
        if (c == "Low") return shared().low;
        return get(row, 3, c);
    }

private:
    PyObject* get(std::uint32_t row, int field, std::string_view s) {
        PyObject*& slot = cache_[std::size_t{row} * 4 + static_cast<std::size_t>(field)];
        if (slot == nullptr) slot = new_text(s);
        return slot;
    }

    const PsmRowStore& rows_;
    std::vector<PyObject*> cache_;
};

PyObject* record_to_python(const PsmRecord& r, RowObjects& rows, const std::vector<py::object>* qvals) {
    const Shared& s = shared();
    py::object d = new_text_defaultdict();
    set_stolen(d.ptr(), s.ptn_accesion, list_of_one(rows.accessions(r.row)));
    set_stolen(d.ptr(), s.ptn_description, list_of_one(rows.descriptions(r.row)));
    set_stolen(d.ptr(), s.pep_mass, own(PyFloat_FromDouble(r.pep_mass)).release().ptr());
    check(PyDict_SetItem(d.ptr(), s.confidence, rows.confidence(r.row)));
    if (qvals != nullptr && r.id < qvals->size() && (*qvals)[r.id]) {
        check(PyDict_SetItem(d.ptr(), s.qval, (*qvals)[r.id].ptr()));
    } else {
        set_stolen(d.ptr(), s.qval, number(r.qval));
    }
    return d.release().ptr();
}

PyObject* empty_text() {
    static PyObject* empty = PyUnicode_InternFromString("");
    Py_INCREF(empty);
    return empty;
}

PyObject* entry_to_python(const PsmScanEntry& e, RowObjects& rows, const std::vector<py::object>* qvals) {
    const Shared& s = shared();
    py::object d = new_text_defaultdict();
    if (e.made_by_read) {
        // Only keys that reads added, each holding the empty text, in the order they were added.
        if (e.selected_text && e.selected_text_first) set_stolen(d.ptr(), s.selected_pep, empty_text());
        if (e.pep_seq_text) set_stolen(d.ptr(), s.pep_seq, empty_text());
        if (e.selected_text && !e.selected_text_first) set_stolen(d.ptr(), s.selected_pep, empty_text());
        return d.release().ptr();
    }
    py::object seqs = own(PyList_New(static_cast<Py_ssize_t>(e.pep_seq.size())));
    for (std::size_t i = 0; i < e.pep_seq.size(); ++i) {
        PyObject* seq = rows.sequence(e.pep_seq[i]);
        Py_INCREF(seq);
        PyList_SET_ITEM(seqs.ptr(), static_cast<Py_ssize_t>(i), seq);
    }
    set_stolen(d.ptr(), s.pep_seq, seqs.release().ptr());
    for (std::size_t i = 0; i < e.records.size(); ++i) {
        const PsmRecord& r = e.records[i];
        // The key first: making it may fail, and the record must not be left without an owner.
        PyObject* key = rows.sequence(r.row);
        set_stolen(d.ptr(), key, record_to_python(r, rows, qvals));
        if (e.selected && e.selected_after == i + 1) {
            set_stolen(d.ptr(), s.selected_pep, list_of_one(rows.sequence(*e.selected)));
        }
    }
    if (e.selected_text) set_stolen(d.ptr(), s.selected_pep, empty_text());
    return d.release().ptr();
}

void mass_value(py::handle v, HostNumber& out, std::exception_ptr& error) {
    if (PyFloat_Check(v.ptr())) {
        out = PyFloat_AS_DOUBLE(v.ptr());
        return;
    }
    if (PyLong_Check(v.ptr())) {
        int overflow = 0;
        long long x = PyLong_AsLongLongAndOverflow(v.ptr(), &overflow);
        if (overflow == 0 && !(x == -1 && PyErr_Occurred())) {
            out = HostNumber(static_cast<std::int64_t>(x));
            return;
        }
        PyErr_Clear();
    }
    // Anything else: whatever the host makes of `mass - count * value`.
    py::object one = py::int_(1);
    py::object mass = py::float_(0.5);
    PyObject* product = PyNumber_Multiply(one.ptr(), v.ptr());
    if (product == nullptr) {
        error = capture_python_error();
        return;
    }
    PyObject* difference = PyNumber_Subtract(mass.ptr(), product);
    Py_DECREF(product);
    if (difference == nullptr) {
        error = capture_python_error();
        return;
    }
    Py_DECREF(difference);
    double d = PyFloat_AsDouble(v.ptr());
    if (d == -1.0 && PyErr_Occurred()) {
        error = capture_python_error();
        return;
    }
    out = d;
}

void tag_value(py::handle name, std::string& out, std::exception_ptr& error) {
    py::str format("(%s)");
    PyObject* tag = PyUnicode_Format(format.ptr(), name.ptr());
    if (tag == nullptr) {
        error = capture_python_error();
        return;
    }
    py::object owned = own(tag);
    out = std::string(utf8(tag));
}

// Whether rescale_qval is still the module's own. A name the driver deleted counts as rebound:
// the error then comes at the first call, as it would.
bool rescale_is_native() {
    try {
        return lookup_callee("rescale_qval").native;
    } catch (py::error_already_set&) {
        return false;
    }
}

} // namespace

PsmLinkers psm_linkers(py::handle long_mass, py::handle short_mass, py::handle long_name, py::handle short_name) {
    PsmLinkers l;
    mass_value(long_mass, l.long_mass, l.long_mass_error);
    mass_value(short_mass, l.short_mass, l.short_mass_error);
    tag_value(long_name, l.long_tag, l.long_tag_error);
    tag_value(short_name, l.short_tag, l.short_tag_error);
    return l;
}

std::optional<bool> PyProteinLookup::ends_protein(std::string_view accession, std::string_view peptide,
                                                  std::string_view residues) {
    py::object key = own(new_text(accession));
    int present = PySequence_Contains(mapping_.ptr(), key.ptr());
    check(present);
    if (present == 0) return std::nullopt;
    py::object protein = own(PyObject_GetItem(mapping_.ptr(), key.ptr()));
    if (PyUnicode_Check(protein.ptr())) return peptide_ends_protein(utf8(protein.ptr()), peptide, residues);
    // A sequence that is no text: the host's own `U in P and P.index(U) == len(P) - len(S)`.
    py::object upper = own(new_text(residues));
    int found = PySequence_Contains(protein.ptr(), upper.ptr());
    check(found);
    if (found == 0) return false;
    py::object at = protein.attr("index")(upper);
    Py_ssize_t length = PyObject_Size(protein.ptr());
    if (length < 0) throw py::error_already_set();
    py::object peptide_text = own(new_text(peptide));
    py::int_ expected(length - PyUnicode_GET_LENGTH(peptide_text.ptr()));
    return at.equal(expected);
}

std::string PyProteinLookup::upper(std::string_view s) {
    py::object t = own(new_text(s));
    py::object u = t.attr("upper")();
    return std::string(utf8(u.ptr()));
}

py::tuple psm_tables_to_python(const PsmTables& tables, const std::array<std::vector<py::object>, 3>* qvals) {
    CollectorPause pause;
    RowObjects rows(tables.high.rows());
    py::tuple out(3);
    for (std::size_t t = 0; t < 3; ++t) {
        const PsmMatchTable& table = tables[t];
        const std::vector<py::object>* q = qvals != nullptr && !(*qvals)[t].empty() ? &(*qvals)[t] : nullptr;
        py::object d = new_text_defaultdict_table();
        for (const auto& [scan, entry] : table.scans) {
            py::object key = own(PyLong_FromLongLong(scan));
            set_stolen(d.ptr(), key.ptr(), entry_to_python(entry, rows, q));
        }
        PyTuple_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(t), d.release().ptr());
    }
    return out;
}

py::object psm_outcome_to_python(PsmReadOutcome&& outcome) {
    std::array<std::vector<py::object>, 3> qvals;
    bool rebound = false;
    for (std::size_t t = 0; t < 3; ++t) {
        const auto& calls = outcome.rescale_calls[t];
        if (calls.empty()) continue;
        rebound = true;
        qvals[t].resize(outcome.tables[t].record_count());
        for (const PsmRescaleCall& c : calls) {
            Callee callee = lookup_callee("rescale_qval");
            qvals[t][c.record] = callee.native ? py::float_(rescale_qval(c.q_value))
                                               : callee.object(py::float_(c.q_value));
        }
    }
    if (outcome.error) std::rethrow_exception(outcome.error);
    return psm_tables_to_python(outcome.tables, rebound ? &qvals : nullptr);
}

PsmReadOptions psm_read_options(py::handle long_mass, py::handle short_mass, py::handle long_name,
                                py::handle short_name, ProteinLookup& proteins) {
    PsmReadOptions o;
    o.linkers = psm_linkers(long_mass, short_mass, long_name, short_name);
    o.proteins = &proteins;
    o.log_rescale_calls = !rescale_is_native();
    return o;
}

} // namespace vombrelle::module
