#include "module/convert_psm.hpp"

#include <string_view>

#include "module/binding.hpp"
#include "module/convert_number.hpp"
#include "module/convert_text.hpp"
#include "module/py_support.hpp"

namespace vombrelle::module {

namespace {

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
    checked(rc);
}

PyObject* list_of_one(PyObject* item) {
    PyObject* l = own(PyList_New(1)).release().ptr();
    Py_INCREF(item);
    PyList_SET_ITEM(l, 0, item);
    return l;
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
    checked(PyDict_SetItem(d.ptr(), s.confidence, rows.confidence(r.row)));
    if (qvals != nullptr && r.id < qvals->size() && (*qvals)[r.id]) {
        checked(PyDict_SetItem(d.ptr(), s.qval, (*qvals)[r.id].ptr()));
    } else {
        set_stolen(d.ptr(), s.qval, to_python(r.qval).release().ptr());
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
    const HostOperand operand = to_operand(v);
    try {
        if (operand.native()) {
            out = operand.number;
            return;
        }
        operand.refuse_if_too_large();
        // Anything else: whatever the host makes of `mass - count * value`.
        const py::object product = own(PyNumber_Multiply(py::int_(1).ptr(), v.ptr()));
        own(PyNumber_Subtract(py::float_(0.5).ptr(), product.ptr()));
        const double d = PyFloat_AsDouble(v.ptr());
        if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        out = d;
    } catch (...) {
        error = std::current_exception();
    }
}

void tag_value(py::handle name, std::string& out, std::exception_ptr& error) {
    PyObject* tag = PyUnicode_Format(py::str("(%s)").ptr(), name.ptr());
    if (tag == nullptr) {
        error = pending_error();
        return;
    }
    out = text_string(own(tag));
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

// The number returned by a protein's index(), compared as the host compares it.
struct HostIndex {
    py::object at;
    friend bool operator==(const HostIndex& i, std::int64_t expected) { return i.at.equal(py::int_(expected)); }
};

// A protein sequence that is no text, asked the lysine test's questions through the host's own
// protocol (in, index(), len()).
class HostProtein {
public:
    explicit HostProtein(py::object protein) : protein_(std::move(protein)) {}

    bool contains(std::string_view residues) {
        residues_ = text_object(residues);
        return checked(PySequence_Contains(protein_.ptr(), residues_.ptr())) == 1;
    }
    HostIndex index(std::string_view) { return {protein_.attr("index")(residues_)}; }
    std::int64_t length() const { return checked(PyObject_Size(protein_.ptr())); }

private:
    py::object protein_;
    py::object residues_;  // the text `contains` was asked about
};

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
    py::gil_scoped_acquire locked;
    const py::object key = text_object(accession);
    if (checked(PySequence_Contains(mapping_.ptr(), key.ptr())) == 0) return std::nullopt;
    py::object protein = own(PyObject_GetItem(mapping_.ptr(), key.ptr()));
    if (PyUnicode_Check(protein.ptr())) {
        std::vector<py::object> keep;
        TextProtein text{text_bytes(protein, keep)};
        return peptide_ends_protein(text, peptide, residues);
    }
    HostProtein host(std::move(protein));
    return peptide_ends_protein(host, peptide, residues);
}

std::string PyProteinLookup::upper(std::string_view s) {
    py::gil_scoped_acquire locked;
    return text_string(text_object(s).attr("upper")());
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
