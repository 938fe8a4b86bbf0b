// Physical constants of the mass calculations, in one place so every stage converts with the
// very same values.
#pragma once

#include <cstdint>

#include "common/number.hpp"

namespace vombrelle {

// The charge carrier added and removed in every m/z <-> MH+ conversion (Da). The value is the
// monoisotopic mass of the hydrogen atom (1H), as the system has always used it; the results
// depend on this exact value.
inline constexpr double kProtonMass = 1.007825;

// MH+ (Da) of an m/z at a charge, in the interpreter's order of operations.
inline double mh_from_mz(double mz, std::int64_t charge) {
    return (mz - kProtonMass) * static_cast<double>(charge) + kProtonMass;
}
// m/z of an MH+ (Da) at a non-zero charge.
inline double mz_from_mh(double mh, std::int64_t charge) {
    return (mh - kProtonMass) / static_cast<double>(charge) + kProtonMass;
}

// The same conversions in the host's arithmetic, for numbers a caller passed as the host holds
// them: the operations in the same order, a float charge kept a float, and a charge of 0 met by
// the host's ZeroDivisionError.
inline HostNumber mh_from_mz(HostNumber mz, HostNumber charge) {
    return ((mz - HostNumber(kProtonMass)) * charge) + HostNumber(kProtonMass);
}
inline HostNumber mz_from_mh(HostNumber mh, HostNumber charge) {
    return (mh - HostNumber(kProtonMass)) / charge + HostNumber(kProtonMass);
}

} // namespace vombrelle
