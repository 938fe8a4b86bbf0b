// The module's readers as its other functions call them: by name, at the moment of the call (the
// search reads its six inputs so, the rescue spectrum generation its four). While the name is
// bound to the module's own reader the file is read natively, with the interpreter lock released,
// into the native table the caller works on. Anything else bound there is called with the caller's
// argument, and its result is taken into native tables (a TypeError naming the reader when it is
// not shaped as the module's reader shapes it); where a rebound callee of the caller may be handed
// such a table later, its host object is kept, so that the callee gets the very object the reader
// returned.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/psm.hpp"
#include "common/scan_table.hpp"
#include "module/convert_psm.hpp"
#include "readers/dta_zip.hpp"
#include "readers/mgf.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// print(name) for each name, as the module's own code prints: a "print" bound in the module
// namespace first, else the builtin, writing to whatever sys.stdout is at the time. Called with
// the interpreter lock held, once the archive is open and before its members are read.
void print_names(const std::vector<std::string>& names);

// read_ms_Mgf(path). `peaks` says whether a native read stores the peaks (CheckOnly for tables
// whose peaks nothing reads; the lines are checked all the same).
SpectrumTable read_mgf_by_name(const py::object& path, PeakStorage peaks);

// read_ms_DtaZip(path) up to the reading of its members. A rebound reader is called: its table goes
// into `table`, its result into `result`. The module's own opens the archive and prints the names
// of the members it skips; the members are left to read (DtaZipReading::read), with nothing of the
// driver's to run before that read is done.
std::optional<DtaZipReading> open_dta_zip_by_name(const py::object& path, SpectrumTable& table, py::object& result);

// --- Reads at once ---
// Native reads run no code of the driver's: several may go at once, in any order, and give what
// they give one after the other, provided that nothing the driver can change runs between them
// either. These say when that holds.

// Whether `name` is bound to the module's own function at this moment (false when unbound).
bool own_function(const char* name);

// The files the arguments name, when every one is a str or bytes that names a file as open()
// takes it: their conversion runs no code of the driver's (a path-like object's __fspath__ would).
// Nothing otherwise, the reads then going one after the other, each with its own errors.
std::optional<std::vector<std::string>> plain_paths(std::initializer_list<py::handle> args);

// The arguments read_PD_PSM_results_tsv_wrapper takes after the file.
struct PsmReadArguments {
    py::handle uniprot_dict;
    py::handle linker_long;
    py::handle linker_short;
    py::handle long_name;
    py::handle short_name;
};

// The three tables of one export as the caller holds them: native, and for tables a rebound wrapper
// returned, each tied to that object.
struct NamedPsmRead {
    PsmTables& tables;
    std::array<std::unique_ptr<LinkedPsmTable>, 3>& links;  // null for tables read natively
    // Which of the three tables the caller or its callees read: the others a rebound wrapper may
    // return as any object, which is only passed along.
    std::array<bool, 3> read;
};

// read_PD_PSM_results_tsv_wrapper(path, ...). Natively while it and the functions it calls
// (read_PD_PSM_results, rescale_qval) are the module's own; otherwise the bound wrapper's result
// is unpacked into exactly three tables, as the host unpacks it, and each is taken whole into a
// native table holding its rows in `rows`.
void read_psm_by_name(const py::object& path, const PsmReadArguments& args, NamedPsmRead into,
                      const std::shared_ptr<PsmRowStore>& rows);

// Whether the PSM reader's questions to the driver's objects are pure: the protein map an exact
// dict of str to str (its lookups run no code of the driver's, and nothing changes it during the
// reads), the masses ints or floats, the names exact str. Reads of several exports may then ask
// them at once, in any order.
bool psm_questions_are_pure(const PsmReadArguments& args);

} // namespace vombrelle::module
