// Spectrum tables across the module boundary.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/number.hpp"
#include "common/scan_table.hpp"
#include "readers/mgf.hpp"
#include "module/binding.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// A table the DTA reader made, as the interpreter's algorithm leaves it: a plain dict whose records
// are defaultdict(str) holding "title" and "header" lists and "ion_mass", a defaultdict(float), in
// that order.
py::object spectrum_table_to_py(const SpectrumTable& t);

// A table built while its file is read, from batches of what the readers hand over; each batch's
// data is freed as soon as it is converted. What comes of a whole DTA archive is what
// spectrum_table_to_py makes of the archive's SpectrumTable.
class SpectrumTableObject {
public:
    explicit SpectrumTableObject(bool default_inserting);
    // Records of scans the table does not hold yet (the zip reader's batches); empties `scans`.
    void add(SpectrumTable& scans);
    // The MGF reader's parts (MgfScanPart), in the file's order; empties `parts`.
    void add(std::vector<MgfScanPart>& parts);
    const py::object& table() const { return table_; }

private:
    py::object table_;
};

// The reverse, for a rebound reader whose result another module function reads: any mapping of
// int scan -> mapping record is taken (a scan beyond 64 bits raises OverflowError); "title"/"header" as sequences of str, "ion_mass" as a
// mapping of float -> float; a key missing or holding "" reads as a record without keys.
// Raises TypeError via bad_callee_result(callee_name, ...) when the result cannot be read so.
SpectrumTable spectrum_table_from_py(py::handle obj, const char* callee_name);

// The records of MS1 scans the precursor-mass rescue can examine below `parent` (Ms1ScansBelow,
// membership as the host tests it). Each record must carry an "ion_mass" mapping of m/z ->
// intensity (an int m/z is taken as its float); otherwise `blame` refuses it with TypeError.
SpectrumTable ms1_scans_below(py::handle ms1, std::int64_t parent, const Blame& blame);

// The archive argument as the zip reader takes it: a str or a path-like object naming a str path.
// Anything else would be used as an open file: without a seek method it raises AttributeError as
// that use would; open files themselves are not read (TypeError).
std::string zip_path_from_py(py::handle obj);

} // namespace vombrelle::module
