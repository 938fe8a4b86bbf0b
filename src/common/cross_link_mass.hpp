// The cross-link's mass balance: two parts joined by the cross-linker make the precursor. The
// search pairs two peptides with the intact linker and two MS3 fragments with its deficit; the
// rescue spectrum generation derives one fragment's partner from the other. Every stage adds in
// the order written here, left to right, so that a pair at the tolerance's edge falls the same
// way in each.
#pragma once

#include <cmath>

#include "common/mass_constants.hpp"
#include "common/tolerance.hpp"

namespace vombrelle {

// The MH+ (Da) two parts make when `joining_mass` (the intact linker, or its deficit) joins them:
// a + b + joining - proton.
inline double joined_mh(double part_a, double part_b, double joining_mass) {
    return part_a + part_b + joining_mass - kProtonMass;
}

// The signed miss (Da) of the pair against the precursor MH+: precursor - joined.
inline double pair_miss(double precursor_mh, double part_a, double part_b, double joining_mass) {
    return precursor_mh - joined_mh(part_a, part_b, joining_mass);
}

// Whether the pair explains the precursor: its miss within 20 ppm of the precursor MH+ (a
// precursor MH+ of 0 is explained by nothing).
inline bool pair_explains(double precursor_mh, double part_a, double part_b, double joining_mass) {
    return kPairTolerance.contains(std::fabs(pair_miss(precursor_mh, part_a, part_b, joining_mass)), precursor_mh);
}

// The MH+ (Da) of the part that joins `fragment_mh` to make the precursor:
// precursor - ((fragment + joining) - proton).
inline double partner_mh(double precursor_mh, double fragment_mh, double joining_mass) {
    return precursor_mh - ((fragment_mh + joining_mass) - kProtonMass);
}

} // namespace vombrelle
