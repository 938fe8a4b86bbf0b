// Spectrum tables as the readers build them and the search and the rescue spectrum generation
// read them: scan number -> record of titles, precursor headers and peaks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ordered_map.hpp"

namespace vombrelle {

// One peak: m/z exactly as parsed (not rounded) and the intensity rounded to 5 decimals.
struct Peak {
    double mz;         // m/z
    double intensity;  // rounded to 5 decimals
};

// Which keys a record holds, in the order they were created. The MGF reader creates "ion_mass"
// first (at the SCANS line), then "title" and "header"; the DTA reader "title", "header",
// "ion_mass". A record made by reading a scan the table lacks has no keys: every key then reads
// as the empty text, which equals no list.
enum class RecordKeys : std::uint8_t {
    None,                // made by a lookup of a missing scan
    IonMassTitleHeader,  // MGF reader
    TitleHeaderIonMass,  // DTA reader
};

struct SpectrumRecord {
    RecordKeys keys = RecordKeys::None;
    std::vector<std::string> titles;   // distinct, in order of first addition
    std::vector<std::string> headers;  // distinct PrecursorHeader texts ("<m/z text> <charge>")
    std::vector<Peak> peaks;           // distinct m/z (0.0 and -0.0 are one), first-insertion order

    bool has_keys() const { return keys != RecordKeys::None; }
};

// scan number -> record, in order of creation (MGF: first SCANS line; DTA: ascending scan).
using SpectrumTable = OrderedMap<std::int64_t, SpectrumRecord>;

// How a reader treats a table's peaks: Keep stores them; CheckOnly validates the peak lines with
// the same errors but stores none, for a table whose peaks its user never reads (each user says
// which of its tables those are).
enum class PeakStorage { Keep, CheckOnly };

} // namespace vombrelle
