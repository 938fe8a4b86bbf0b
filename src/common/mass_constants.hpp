// Physical constants of the mass calculations, in one place so every stage converts with the
// very same values.
#pragma once

#include <cstdint>

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

} // namespace vombrelle
