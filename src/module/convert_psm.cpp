#include "module/convert_psm.hpp"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <unordered_map>

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

// A table's entries one by one. From a table not held const, each entry's data is freed once
// converted: the tables and their host objects are never both resident whole.
template <class Table>
py::object table_to_python(Table& table, RowObjects& rows, const std::vector<py::object>* qvals) {
    py::object d = new_text_defaultdict_table();
    for (auto& [scan, entry] : table.scans) {
        py::object key = own(PyLong_FromLongLong(scan));
        set_stolen(d.ptr(), key.ptr(), entry_to_python(entry, rows, qvals));
        if constexpr (!std::is_const_v<Table>) entry = PsmScanEntry{};
    }
    if constexpr (!std::is_const_v<Table>) table.scans = {};
    return d;
}

// "(%s)" % name: the tag, or the error formatting it raised, for the first row that uses it.
void tag_value(py::handle name, std::string& out, DeferredFailure& failure) {
    PyObject* tag = PyUnicode_Format(py::str("(%s)").ptr(), name.ptr());
    if (tag == nullptr) {
        failure = DeferredFailure(pending_error());
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


// A mapping asked question by question, without the lock between questions.
class PythonProteins final : public ProteinLookup {
public:
    explicit PythonProteins(py::handle mapping) : mapping_(mapping) {}

    std::optional<bool> ends_protein(std::string_view accession, std::string_view peptide,
                                     std::string_view residues) override {
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

private:
    py::handle mapping_;
};

// An exact dict of str to str, taken whole: its texts as the core's UTF-8 (each str's own,
// which lives as long as the str; `held` keeps every key and value alive, whatever the driver's
// other threads do to the dict meanwhile). Texts with lone surrogates are copied into `held`.
class DictSnapshot final : public ProteinLookup {
public:
    explicit DictSnapshot(py::handle dict) {
        proteins_.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(dict.ptr())));
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t pos = 0;
        while (PyDict_Next(dict.ptr(), &pos, &key, &value)) {
            if (!PyUnicode_CheckExact(key) || !PyUnicode_CheckExact(value)) {
                complete_ = false;
                return;
            }
            held_.push_back(py::reinterpret_borrow<py::object>(key));
            held_.push_back(py::reinterpret_borrow<py::object>(value));
            const std::string_view k = text_bytes(key, held_);
            proteins_.emplace(k, text_bytes(value, held_));
        }
    }
    bool complete() const { return complete_; }

    std::optional<bool> ends_protein(std::string_view accession, std::string_view peptide,
                                     std::string_view residues) override {
        const auto it = proteins_.find(accession);
        if (it == proteins_.end()) return std::nullopt;
        TextProtein protein{it->second};
        return peptide_ends_protein(protein, peptide, residues);
    }

private:
    std::vector<py::object> held_;
    std::unordered_map<std::string_view, std::string_view> proteins_;
    bool complete_ = true;
};

// --- The driver's tables, read into native ones. ---

// The read-made keys an entry holds, as bits.
enum ReadKeys : std::uint8_t { kPepSeqText = 1, kSelectedText = 2 };

std::uint8_t read_keys(const PsmScanEntry& e) {
    return static_cast<std::uint8_t>((e.made_by_read && e.pep_seq_text ? kPepSeqText : 0) |
                                     (e.selected_text ? kSelectedText : 0));
}

// "" or an empty list: both read as no sequence, and reading them inserts nothing.
bool holds_no_sequence(py::handle v) {
    return is_empty_text(v) || ((PyList_Check(v.ptr()) || PyTuple_Check(v.ptr())) && PySequence_Size(v.ptr()) == 0);
}

bool is_key(py::handle key, PyObject* name) {
    return PyUnicode_Check(key.ptr()) && PyUnicode_Compare(key.ptr(), name) == 0;
}

// Where in a table a value sits, for the refusal's message.
struct Place {
    const Blame& blame;
    std::int64_t scan;

    [[noreturn]] void refuse(const std::string& what) const {
        blame.refuse("a PSM table whose scan " + std::to_string(scan) + " " + what);
    }
};

// The one text of a ["text"] field of a record.
std::string_view single_text(const py::object& v, const char* field, const Place& at, std::vector<py::object>& keep) {
    if ((PyList_Check(v.ptr()) || PyTuple_Check(v.ptr())) && PySequence_Size(v.ptr()) == 1) {
        py::object item = own(PySequence_GetItem(v.ptr(), 0));
        if (PyUnicode_Check(item.ptr())) {
            std::string_view text = text_bytes(item, keep);
            keep.push_back(std::move(item));
            return text;
        }
    }
    at.refuse(std::string("has a PSM record whose \"") + field + "\" is not a list of one str");
}

PsmRecord record_from_python(py::handle record, std::string_view sequence, PsmRowStore& rows, const Place& at) {
    const Shared& k = shared();
    auto field = [&](PyObject* key) {
        py::object v = peek_item(record, key);
        if (!v) at.refuse(std::string("has a PSM record without \"") + text_string(key) + "\"");
        return v;
    };
    std::vector<py::object> keep;
    const std::string_view accessions = single_text(field(k.ptn_accesion), "ptn_accesion", at, keep);
    const std::string_view descriptions = single_text(field(k.ptn_description), "ptn_description", at, keep);
    const py::object mass = field(k.pep_mass);
    const py::object confidence = field(k.confidence);
    const py::object qval = field(k.qval);
    PsmRecord r;
    const std::optional<double> pep_mass = to_double(mass);
    if (!pep_mass) at.refuse("has a PSM record whose \"pep_mass\" is " + type_name(mass) + ", not a number");
    r.pep_mass = *pep_mass;
    if (!PyUnicode_Check(confidence.ptr())) {
        at.refuse("has a PSM record whose \"confidence\" is " + type_name(confidence) + ", not str");
    }
    const HostOperand q = to_operand(qval);
    q.refuse_beyond_64_bits();
    if (!q.native()) at.refuse("has a PSM record whose \"qval\" is " + type_name(qval) + ", not a number");
    r.qval = q.number();
    r.row = rows.add(sequence, accessions, descriptions, text_bytes(confidence, keep));
    return r;
}

// The items of a mapping as (key, value) pairs, in its own order.
std::vector<std::pair<py::object, py::object>> mapping_items(py::handle mapping, const Place& at) {
    std::vector<std::pair<py::object, py::object>> out;
    if (PyDict_Check(mapping.ptr())) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t pos = 0;
        while (PyDict_Next(mapping.ptr(), &pos, &key, &value)) {
            out.emplace_back(py::reinterpret_borrow<py::object>(key), py::reinterpret_borrow<py::object>(value));
        }
        return out;
    }
    for (py::handle item : own(PyMapping_Items(mapping.ptr()))) {
        const auto [key, value] =
            require_pair(item, [&](const std::string& why) { at.refuse("holds an entry whose " + why); });
        out.emplace_back(py::reinterpret_borrow<py::object>(key), py::reinterpret_borrow<py::object>(value));
    }
    return out;
}

// A scan entry of the driver's table: as the reader makes them ("pep_seq", "selected_pep", one
// record per sequence) or as reads leave them (nothing, or "" under "pep_seq" / "selected_pep").
// Without `rows` only the latter is taken.
PsmScanEntry entry_from_python(py::handle entry, const Place& at, PsmRowStore* rows) {
    if (!is_mapping(entry)) at.refuse("holds " + type_name(entry) + ", not a scan entry");
    const Shared& k = shared();
    PsmScanEntry e;
    e.keys_insert = missing_key_read_inserts(entry);
    py::object pep_seq, selected;
    bool selected_first = false;
    std::size_t records_before_selected = 0;
    std::vector<std::pair<py::object, py::object>> records;
    for (auto& [key, value] : mapping_items(entry, at)) {
        if (is_key(key, k.pep_seq)) {
            pep_seq = value;
        } else if (is_key(key, k.selected_pep)) {
            selected = value;
            selected_first = !pep_seq;
            records_before_selected = records.size();
        } else if (!PyUnicode_Check(key.ptr())) {
            continue;  // never read: sequences are texts
        } else if (is_mapping(value)) {
            records.emplace_back(key, value);
        } else if (!(e.keys_insert && is_empty_text(value))) {
            // "" is what a failed read of a sequence leaves in a default-inserting entry: reading it
            // again fails as it did. Anything else the native entry cannot hold.
            at.refuse("holds " + type_name(value) + " under " + text_string(py::repr(key)) + ", not a PSM record");
        }
    }
    const bool pep_text = pep_seq && is_empty_text(pep_seq);
    const bool selected_none = selected && holds_no_sequence(selected);
    if (records.empty() && (!pep_seq || pep_text) && (!selected || selected_none)) {
        e.made_by_read = true;
        e.pep_seq_text = pep_text;
        e.selected_text = selected_none;
        e.selected_text_first = selected_none && (selected_first || !pep_text);
        return e;
    }
    if (rows == nullptr) at.refuse("holds PSMs, where only an entry as reads leave it is followed");
    if (!pep_seq || !(PyList_Check(pep_seq.ptr()) || PyTuple_Check(pep_seq.ptr()))) {
        at.refuse("holds PSMs without a \"pep_seq\" list");
    }
    std::vector<py::object> keep;
    std::vector<std::pair<std::string_view, std::uint32_t>> row_of;  // sequence -> row
    for (auto& [key, value] : records) {
        const std::string_view sequence = text_bytes(key, keep);
        e.records.push_back(record_from_python(value, sequence, *rows, at));
        row_of.emplace_back(sequence, e.records.back().row);
    }
    auto row_for = [&](py::handle item) {
        if (!PyUnicode_Check(item.ptr())) at.refuse("lists " + type_name(item) + " among its sequences, not str");
        const std::string_view sequence = text_bytes(item, keep);
        for (const auto& [known, row] : row_of) {
            if (known == sequence) return row;
        }
        row_of.emplace_back(sequence, rows->add(sequence, {}, {}, {}));
        return row_of.back().second;
    };
    for (py::handle item : pep_seq) e.pep_seq.push_back(row_for(item));
    if (selected_none) {
        e.selected_text = true;
    } else if (selected) {
        if (!(PyList_Check(selected.ptr()) || PyTuple_Check(selected.ptr())) || PySequence_Size(selected.ptr()) != 1) {
            at.refuse("has a \"selected_pep\" that is not a list of at most one str");
        }
        e.selected = row_for(own(PySequence_GetItem(selected.ptr(), 0)));
        e.selected_after = static_cast<std::uint32_t>(records_before_selected);
    }
    return e;
}

// The last `count` keys of a mapping, in its order: where the entries added last are.
std::vector<py::object> last_keys(py::handle mapping, Py_ssize_t count) {
    std::vector<py::object> out;
    if (PyDict_Check(mapping.ptr())) {
        py::object reversed = py::module_::import("builtins").attr("reversed")(mapping);
        for (py::handle key : reversed) {
            if (static_cast<Py_ssize_t>(out.size()) == count) break;
            out.push_back(py::reinterpret_borrow<py::object>(key));
        }
        std::reverse(out.begin(), out.end());
        return out;
    }
    const py::object keys = own(PySequence_List(own(PyMapping_Keys(mapping.ptr())).ptr()));
    const Py_ssize_t n = PyList_GET_SIZE(keys.ptr());
    for (Py_ssize_t i = std::max<Py_ssize_t>(0, n - count); i < n; ++i) {
        out.push_back(py::reinterpret_borrow<py::object>(PyList_GET_ITEM(keys.ptr(), i)));
    }
    return out;
}

} // namespace

PsmLinkers psm_linkers(py::handle long_mass, py::handle short_mass, py::handle long_name, py::handle short_name) {
    PsmLinkers l;
    l.long_mass = to_operand_used_as(long_mass, kLinkerMassUse, "linker_Long");
    l.short_mass = to_operand_used_as(short_mass, kLinkerMassUse, "linker_Short");
    tag_value(long_name, l.long_tag, l.long_tag_failure);
    tag_value(short_name, l.short_tag, l.short_tag_failure);
    return l;
}

ProteinMap::ProteinMap(py::handle mapping) {
    if (PyDict_CheckExact(mapping.ptr())) {
        auto snapshot = std::make_unique<DictSnapshot>(mapping);
        if (snapshot->complete()) {
            lookup_ = std::move(snapshot);
            return;
        }
    }
    lookup_ = std::make_unique<PythonProteins>(mapping);
    asks_python_ = true;
}

py::tuple psm_tables_to_python(PsmTables&& tables, const std::array<std::vector<py::object>, 3>* qvals) {
    CollectorPause pause;
    RowObjects rows(tables.high.rows());
    py::tuple out(3);
    for (std::size_t t = 0; t < 3; ++t) {
        const std::vector<py::object>* q = qvals != nullptr && !(*qvals)[t].empty() ? &(*qvals)[t] : nullptr;
        PyTuple_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(t), table_to_python(tables[t], rows, q).release().ptr());
    }
    return out;
}

py::object psm_table_to_python(const PsmMatchTable& table) {
    CollectorPause pause;
    RowObjects rows(table.rows());
    return table_to_python(table, rows, nullptr);
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
    return psm_tables_to_python(std::move(outcome.tables), rebound ? &qvals : nullptr);
}

PsmReadOptions psm_read_options(py::handle long_mass, py::handle short_mass, py::handle long_name,
                                py::handle short_name, ProteinLookup& proteins) {
    PsmReadOptions o;
    o.linkers = psm_linkers(long_mass, short_mass, long_name, short_name);
    o.proteins = &proteins;
    o.log_rescale_calls = !rescale_is_native();
    return o;
}

LinkedPsmTable::LinkedPsmTable(PsmMatchTable& native, py::handle object, std::span<const std::int64_t> scans,
                               PsmRowStore& rows, const Blame& blame)
    : native_(&native), object_(py::reinterpret_borrow<py::object>(object)) {
    if (!is_mapping(object)) blame.refuse(type_name(object) + ", not a PSM table");
    native.reads_insert = missing_key_read_inserts(object);
    for (std::int64_t scan : scans) {
        if (native.contains(scan)) continue;
        const py::int_ key(scan);
        if (checked(PySequence_Contains(object.ptr(), key.ptr())) == 0) continue;
        const py::object entry = own(PyObject_GetItem(object.ptr(), key.ptr()));
        native.scans.insert_or_assign(scan, entry_from_python(entry, Place{blame, scan}, &rows));
    }
    mark_handed_over();
}

py::handle LinkedPsmTable::object() {
    if (!object_) {
        object_ = psm_table_to_python(*native_);
        mark_handed_over();
    } else {
        flush();
    }
    return object_;
}

void LinkedPsmTable::flush() {
    if (!object_ || passed_along_) return;  // made from the native table when first asked for; never read
    const Shared& k = shared();
    const auto& scans = native_->scans;
    // New scans first, each made by a read of the object, then the keys reads added to entries.
    std::vector<py::object> made;
    for (std::size_t pos = native_count_; pos < scans.size(); ++pos) {
        const py::int_ key(scans.at_position(pos).first);
        made.push_back(own(PyObject_GetItem(object_.ptr(), key.ptr())));
    }
    for (std::size_t pos = 0; pos < scans.size(); ++pos) {
        const auto& [scan, entry] = scans.at_position(pos);
        const std::uint8_t before = pos < native_count_ ? native_keys_[pos] : 0;
        const std::uint8_t added = static_cast<std::uint8_t>(read_keys(entry) & ~before);
        if (added == 0) continue;
        const py::object object_entry =
            pos >= native_count_ ? made[pos - native_count_] : own(PyObject_GetItem(object_.ptr(), py::int_(scan).ptr()));
        PyObject* order[2] = {k.pep_seq, k.selected_pep};
        if (entry.selected_text_first) std::swap(order[0], order[1]);
        for (PyObject* key : order) {
            const std::uint8_t bit = key == k.pep_seq ? kPepSeqText : kSelectedText;
            if (added & bit) own(PyObject_GetItem(object_entry.ptr(), key));
        }
    }
    mark_handed_over();
}

void LinkedPsmTable::pull(std::span<const std::int64_t> scans, const Blame& blame) {
    if (!object_ || passed_along_) return;  // Python code never had it; never read
    const Py_ssize_t size = checked(PyObject_Size(object_.ptr()));
    if (size > object_size_) {
        for (const py::object& key : last_keys(object_, size - object_size_)) {
            const std::optional<std::int64_t> scan = scan_from_key(key, /*refuse_too_large=*/false);
            if (!scan || native_->contains(*scan)) continue;
            const py::object entry = own(PyObject_GetItem(object_.ptr(), key.ptr()));
            native_->scans.insert_or_assign(*scan, entry_from_python(entry, Place{blame, *scan}, nullptr));
        }
    }
    const Shared& k = shared();
    for (std::int64_t scan : scans) {
        PsmScanEntry* e = native_->scans.find(scan);
        if (e == nullptr) continue;
        const py::object entry = peek_item(object_, py::int_(scan));
        if (!entry || !is_mapping(entry)) continue;
        if (e->made_by_read) {
            const PsmScanEntry now = entry_from_python(entry, Place{blame, scan}, nullptr);
            e->pep_seq_text = e->pep_seq_text || now.pep_seq_text;
            if (now.selected_text && !e->selected_text) {
                e->selected_text = true;
                e->selected_text_first = now.selected_text_first;
            }
        } else if (!e->selected && !e->selected_text && peek_item(entry, k.selected_pep)) {
            e->selected_text = true;
        }
    }
    mark_handed_over();
}

void LinkedPsmTable::mark_handed_over() {
    const auto& scans = native_->scans;
    native_count_ = scans.size();
    native_keys_.resize(native_count_);
    for (std::size_t pos = 0; pos < native_count_; ++pos) native_keys_[pos] = read_keys(scans.at_position(pos).second);
    object_size_ = object_ ? checked(PyObject_Size(object_.ptr())) : 0;
}

DriverPsmTables::DriverPsmTables(const char* function, const std::array<py::handle, 6>& objects,
                                 const std::array<const char*, 6>& names, const PsmReads& reads) {
    for (std::size_t i = 0; i < 6; ++i) {
        PsmMatchTable& table = i < 3 ? native.ms3[i] : native.rescue[i - 3];
        table = PsmMatchTable(rows_);
        if (!PsmReads::reads_table(i % 3)) {
            links[i] = std::make_unique<LinkedPsmTable>(table, objects[i]);
            continue;
        }
        links[i] = std::make_unique<LinkedPsmTable>(table, objects[i], i < 3 ? reads.ms3 : reads.rescue, *rows_,
                                                    Blame::argument(function, names[i]));
    }
}

void DriverPsmTables::flush() {
    for (auto& link : links) link->flush();
}

} // namespace vombrelle::module
