// Scan numbers as table keys. Scan numbers reach the rescues as the host's numbers (a driver may pass
// its own), while the native spectrum and PSM tables are keyed by 64-bit integers. The host's maps find
// an integer key by an equal float, so a whole-valued float names that integer's key. A float with a
// fraction (or too large, or not finite) equals no integer: it is a key of no native table, and a
// default-inserting read under it finds nothing and inserts nothing, since no native table can hold
// such a key.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "common/number.hpp"

namespace vombrelle {

inline std::optional<std::int64_t> scan_key(HostNumber scan) {
    if (scan.is_int()) return scan.as_int();
    const double d = scan.as_double();
    constexpr double kTwo63 = 9223372036854775808.0;
    if (!(d >= -kTwo63 && d < kTwo63) || std::trunc(d) != d) return std::nullopt;
    return static_cast<std::int64_t>(d);
}

} // namespace vombrelle
