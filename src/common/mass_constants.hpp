// Physical constants of the mass calculations, in one place so every stage converts with the
// very same values.
#pragma once

namespace vombrelle {

// The charge carrier added and removed in every m/z <-> MH+ conversion (Da). The value is the
// monoisotopic mass of the hydrogen atom (1H), as the system has always used it; the results
// depend on this exact value.
inline constexpr double kProtonMass = 1.007825;

} // namespace vombrelle
