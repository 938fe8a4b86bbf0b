// The layout of a cross-link record, the search's tab-separated result line, and the pair text by
// which its two peptides are recognised.
//
// A record holds 13 fields; the FractionScoreMap key appends the fraction label as field 13, and a
// ScoredCrossLinkLine puts the score and the CSM count in front of the key, so there every record
// field sits two places further on. The stages that read records by position take the positions
// from here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vombrelle {

namespace record_field {
inline constexpr std::size_t kPrecursorMh = 3;    // the stated precursor MH+ (Da)
inline constexpr std::size_t kPeptideA = 6;       // ";"-joined sequences of peptide A
inline constexpr std::size_t kAccessionsA = 7;    // ";"-joined protein identifiers of peptide A
inline constexpr std::size_t kDescriptionsA = 8;  // their descriptions
inline constexpr std::size_t kPeptideB = 9;
inline constexpr std::size_t kAccessionsB = 10;
inline constexpr std::size_t kDescriptionsB = 11;
inline constexpr std::size_t kRemarks = 12;       // the last record field
} // namespace record_field

// Position in a ScoredCrossLinkLine of record field `record_position`.
constexpr std::size_t scored_line_field(std::size_t record_position) { return record_position + 2; }

// The first of a field's ";"-joined alternatives (the whole field when it holds one):
// `field.split(";")[0]` without building the list.
inline std::string_view first_alternative(std::string_view field) { return field.substr(0, field.find(';')); }

// Makes `out` the pair text "a:b". Both orientations are looked up where a pair counts once
// whichever peptide comes first.
inline void pair_text(std::string& out, std::string_view a, std::string_view b) {
    out.assign(a);
    out.push_back(':');
    out.append(b);
}

} // namespace vombrelle
