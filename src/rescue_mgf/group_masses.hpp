// Precursor masses of one MS3 scan group, and the pairs of them the pair test takes (whether two
// MS3 fragments joined by the cross-linker explain the parent MS2 precursor: cross_link_mass.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/precursor.hpp"
#include "common/scan_table.hpp"

namespace vombrelle::rescue_mgf {

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
