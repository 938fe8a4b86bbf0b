// Spectrum tables across the module boundary.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>

#include "common/number.hpp"
#include "common/scan_table.hpp"
#include "module/binding.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// The table as the interpreter's algorithm leaves it: records are defaultdict(str) with their keys
// in creation order, "title" and "header" lists, "ion_mass" a defaultdict(float). With
// `default_inserting` the table is a defaultdict whose missing scans read as a new
// defaultdict(str) (the MGF reader); otherwise a plain dict (the DTA reader).
py::object spectrum_table_to_py(const SpectrumTable& t, bool default_inserting);

// The reverse, for a rebound reader whose result another module function reads: any mapping of
// int scan -> mapping record is taken (a scan beyond 64 bits raises OverflowError); "title"/"header" as sequences of str, "ion_mass" as a
// mapping of float -> float; a key missing or holding "" reads as a record without keys.
// Raises TypeError via bad_callee_result(callee_name, ...) when the result cannot be read so.
SpectrumTable spectrum_table_from_py(py::handle obj, const char* callee_name);

// The records of MS1 scans the precursor-mass rescue can examine: those of the (at most) `count`
// scan numbers nearest below `parent`, down to 0, that `ms1` holds (membership as the host tests
// it). Each record must carry an "ion_mass" mapping of m/z -> intensity (an int m/z is taken as
// its float); otherwise `blame` refuses it with TypeError. Nothing for a parent that names no
// integer above 0.
SpectrumTable ms1_scans_below(py::handle ms1, HostNumber parent, std::size_t count, const Blame& blame);

// The archive argument as the zip reader takes it: a str or a path-like object naming a str path.
// Anything else would be used as an open file: without a seek method it raises AttributeError as
// that use would; open files themselves are not read (TypeError).
std::string zip_path_from_py(py::handle obj);

} // namespace vombrelle::module
