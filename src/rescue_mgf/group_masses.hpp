// Precursor masses of one MS3 scan group and the test of whether two of its MS3 fragments,
// joined by the cross-linker, explain the parent MS2 precursor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/precursor.hpp"
#include "common/scan_table.hpp"

namespace vombrelle::rescue_mgf {


// A numeric argument of the run (linker_dm, linker_deficit) as the caller passed it. The
// interpreter rejects a value that is not a number only when arithmetic first meets it, which
// may be never; so the rejection is kept here and raised at that moment.
struct LinkerArgument {
    double value = 0.0;
    std::string bad_type;    // non-empty: not a number; the interpreter's name of its type
    bool too_large = false;  // an integer beyond the range of a double

    static LinkerArgument number(double v) { return LinkerArgument{v, {}, false}; }

    // The value as the right operand of `float + arg`.
    double as_addend() const;
    // The value as the left operand of `arg - float`.
    double as_minuend() const;
};

// The MH+ of every header entry of one MS3 scan (its own precursors, in order, each read charge
// first) and the charge of its final entry (0 when it has none).
struct ScanMasses {
    std::vector<double> masses;  // Da; element 0 is the scan's mass in the partner derivation
    std::int64_t charge = 0;
};
ScanMasses parse_scan_masses(const SpectrumRecord& own_precursor_record);

// Unordered pairs of a group's MS3 masses, in the order of itertools.combinations(masses, 2).
using MassPairs = std::vector<std::pair<double, double>>;
void all_mass_pairs(const std::vector<double>& masses, MassPairs& out);

} // namespace vombrelle::rescue_mgf
