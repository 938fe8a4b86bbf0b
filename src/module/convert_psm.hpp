// Conversions of the PSM reader's arguments and results between the interpreter's objects and the
// core's PSM tables.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "module/binding.hpp"
#include "ms2_rescue/rescued_xl_builder.hpp"
#include "readers/psm_table.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// The four linker arguments. A value the rows cannot use (a mass the host's arithmetic refuses
// in the row's formula, kLinkerMassUse, or an int beyond 64 bits; a name that "(%s)" does not
// format) becomes the error for it, raised where an accepted row first uses it.
PsmLinkers psm_linkers(py::handle long_mass, py::handle short_mass, py::handle long_name, py::handle short_name);

// The driver's accession -> sequence mapping as the PSM reader asks it. An exact dict of str to
// str is taken whole when the read starts, as views of its texts (the texts held meanwhile): asking
// it runs no code of the driver's, so the read needs the interpreter for nothing and runs without
// its lock throughout, at the cost of one pass over the dict. Any other mapping is asked through
// the mapping protocol (membership test, then item read), question by question, each question
// taking the lock for its own duration; it is never written to.
class ProteinMap {
public:
    explicit ProteinMap(py::handle mapping);
    ProteinMap(const ProteinMap&) = delete;
    ProteinMap& operator=(const ProteinMap&) = delete;

    ProteinLookup& lookup() { return *lookup_; }
    // Whether questions call into Python code (the read then runs unlocked() on the caller's
    // thread rather than on a worker).
    bool asks_python() const { return asks_python_; }

private:
    std::unique_ptr<ProteinLookup> lookup_;
    bool asks_python_ = false;
};

// (match_dict_high, match_dict_med_high, match_dict_all) as defaultdicts whose missing scans read as
// a new defaultdict(str); scan entries and records are defaultdict(str). `qvals`, when given, holds
// per table the "qval" object of each record by PsmRecord::id, in place of the native value. Each
// scan entry is freed as soon as it is converted.
py::tuple psm_tables_to_python(PsmTables&& tables, const std::array<std::vector<py::object>, 3>* qvals);

// One table as psm_tables_to_python makes each of its three.
py::object psm_table_to_python(const PsmMatchTable& table);

// A PSM table as both sides hold it: the native table the core reads and the host's object that
// the driver, or a function the driver bound in place of one of the module's, sees. Reads on
// either side insert what the host's default-inserting reads insert (an empty entry for a scan
// the table lacks; "" under "pep_seq" or "selected_pep" for an entry lacking it); the link carries
// those inserts across when the object changes hands:
//   - flush(): what native reads inserted since the last hand-over is replayed into the object by
//     reading through its own [], so that its factories make the entries as the host's reads
//     would: the new scan entries in table order, then the keys added to entries;
//   - pull(): what Python code inserted while it had the object is taken into the native table:
//     new scans (entries as reads leave them, nothing else) and the keys added to the entries of
//     the given scans.
// Other changes Python code makes to the object are not followed.
class LinkedPsmTable {
public:
    // The driver's table `object`: `native` (empty, its rows in `rows`) gets the entries of `scans`
    // that the object holds, as the reader makes them or as reads leave them. Reads of the native
    // table insert, or raise KeyError, as the object's reads would. What the native table cannot
    // hold is refused by `blame`.
    LinkedPsmTable(PsmMatchTable& native, py::handle object, std::span<const std::int64_t> scans, PsmRowStore& rows,
                   const Blame& blame);
    // A table of the module's own (a reader's): its object is made when first asked for.
    explicit LinkedPsmTable(PsmMatchTable& native) : native_(&native) {}
    // The driver's `object` in the place of a table the call never reads: only passed along.
    LinkedPsmTable(PsmMatchTable& native, py::handle object)
        : native_(&native), object_(py::reinterpret_borrow<py::object>(object)), passed_along_(true) {}
    LinkedPsmTable(const LinkedPsmTable&) = delete;
    LinkedPsmTable& operator=(const LinkedPsmTable&) = delete;

    // The object, with every native insert so far replayed into it.
    py::handle object();
    void flush();
    void pull(std::span<const std::int64_t> scans, const Blame& blame);

private:
    void mark_handed_over();

    PsmMatchTable* native_;
    py::object object_;
    std::size_t native_count_ = 0;           // native entries at the last hand-over
    std::vector<std::uint8_t> native_keys_;  // the read-made keys each of them held then
    Py_ssize_t object_size_ = 0;             // len(object) then
    bool passed_along_ = false;
};

// The six PSM table arguments of a rescue (match_dict_high ... MS2_match_dict_all) as native
// tables holding the entries of the scans the call can read. The tables it never reads are only
// passed along: any object serves there.
class DriverPsmTables {
public:
    DriverPsmTables(const char* function, const std::array<py::handle, 6>& objects,
                    const std::array<const char*, 6>& names, const PsmReads& reads);
    DriverPsmTables(const DriverPsmTables&) = delete;
    DriverPsmTables& operator=(const DriverPsmTables&) = delete;

    SearchPsmTables native;
    // In argument order, each tied to its native table.
    std::array<std::unique_ptr<LinkedPsmTable>, 6> links;

    // Replays every table's inserts into the driver's objects, table by table.
    void flush();

private:
    std::shared_ptr<PsmRowStore> rows_ = std::make_shared<PsmRowStore>();
};

// Options of a read: the linker arguments, the protein lookup, and whether rescale_qval is rebound
// (then the read logs the calls it makes for psm_outcome_to_python).
PsmReadOptions psm_read_options(py::handle long_mass, py::handle short_mass, py::handle long_name,
                                py::handle short_name, ProteinLookup& proteins);

// The read's result as the host's objects: first the logged calls of a rebound rescale_qval, made
// by name one by one, table by table; then the read's own error, if any; then the tables.
py::object psm_outcome_to_python(PsmReadOutcome&& outcome);

} // namespace vombrelle::module
