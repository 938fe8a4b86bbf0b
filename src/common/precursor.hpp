// A precursor as a spectrum's header states it: "<m/z> <charge>", the first two whitespace-
// separated items of one PrecursorHeader entry, read as float() and int() read them. The search and
// the rescue spectrum generation read the same entries but reach the two items in different
// orders, which decides the error a malformed entry raises; each names its order here.
#pragma once

#include <cstdint>
#include <string_view>

namespace vombrelle {

struct Precursor {
    double mz = 0.0;          // m/z as read
    std::int64_t charge = 0;
    double mh = 0.0;          // MH+ (Da)
};

enum class PrecursorReading {
    // The m/z first, then the charge is looked for: an entry with no item raises IndexError, one
    // with a bad m/z and no charge the m/z's ValueError (the search).
    MzFirst,
    // Both items looked for first (IndexError when one is missing), then the m/z, then the charge
    // (the rescue spectra: a group's parent precursor).
    BothThenMz,
    // Both items looked for first, then the charge, then the m/z (the rescue spectra: an MS3
    // scan's own precursors).
    BothThenCharge,
};

// Parses one header entry; ValueError for an item float() or int() refuses, OverflowError for a
// charge beyond 64 bits.
Precursor parse_precursor(std::string_view header_entry, PrecursorReading reading);

} // namespace vombrelle
