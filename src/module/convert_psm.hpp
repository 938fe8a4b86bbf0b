// Conversions of the PSM reader's arguments and results between the interpreter's objects and the
// core's PSM tables.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <string>
#include <vector>

#include "readers/psm_table.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// The four linker arguments. A value the rows cannot use (a mass that is no number or an int
// beyond 64 bits, a name that "(%s)" does not format) becomes the host's error for it, raised
// where an accepted row first uses it.
PsmLinkers psm_linkers(py::handle long_mass, py::handle short_mass, py::handle long_name, py::handle short_name);

// The driver's accession -> sequence mapping, read through the mapping protocol (membership test,
// then item read) and never written to. The read runs with the interpreter lock released: each
// question takes the lock for its own duration.
class PyProteinLookup final : public ProteinLookup {
public:
    explicit PyProteinLookup(py::handle mapping) : mapping_(mapping) {}
    std::optional<bool> ends_protein(std::string_view accession, std::string_view peptide,
                                     std::string_view residues) override;
    std::string upper(std::string_view text) override;

private:
    py::handle mapping_;
};

// (match_dict_high, match_dict_med_high, match_dict_all) as defaultdicts whose missing scans read as
// a new defaultdict(str); scan entries and records are defaultdict(str). `qvals`, when given, holds
// per table the "qval" object of each record by PsmRecord::id, in place of the native value.
py::tuple psm_tables_to_python(const PsmTables& tables, const std::array<std::vector<py::object>, 3>* qvals);

// Options of a read: the linker arguments, the protein lookup, and whether rescale_qval is rebound
// (then the read logs the calls it makes for psm_outcome_to_python).
PsmReadOptions psm_read_options(py::handle long_mass, py::handle short_mass, py::handle long_name,
                                py::handle short_name, ProteinLookup& proteins);

// The read's result as the host's objects: first the logged calls of a rebound rescale_qval, made
// by name one by one, table by table; then the read's own error, if any; then the tables.
py::object psm_outcome_to_python(PsmReadOutcome&& outcome);

} // namespace vombrelle::module
