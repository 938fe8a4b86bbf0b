// The layout of a cross-link record, the search's tab-separated result line, and the pair text by
// which its two peptides are recognised.
//
// A record holds 13 fields; the FractionScoreMap key appends the fraction label as field 13, and a
// ScoredCrossLinkLine puts the score and the CSM count in front of the key, so there every record
// field sits two places further on. Every stage that reads records or lines by position takes the
// positions from here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/host_text.hpp"

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

// A ScoredCrossLinkLine: the score and the CSM count, then the record fields two places on.
namespace scored_line_field {
inline constexpr std::size_t kScore = 0;
inline constexpr std::size_t kCsmCount = 1;
inline constexpr std::size_t kScans = 4;  // record field 2, the first one the result table shows after the count
inline constexpr std::size_t kPeptideA = record_field::kPeptideA + 2;
inline constexpr std::size_t kAccessionsA = record_field::kAccessionsA + 2;
inline constexpr std::size_t kDescriptionsA = record_field::kDescriptionsA + 2;
inline constexpr std::size_t kPeptideB = record_field::kPeptideB + 2;
inline constexpr std::size_t kAccessionsB = record_field::kAccessionsB + 2;
inline constexpr std::size_t kDescriptionsB = record_field::kDescriptionsB + 2;
inline constexpr std::size_t kRemarks = record_field::kRemarks + 2;
} // namespace scored_line_field

// A scored line's score as its consumers sort on it: field 0 (the text before the first tab, the
// whole line without one) read as a float; the value error of float() otherwise.
inline double line_score(std::string_view line) { return parse_float(line.substr(0, line.find('\t'))); }

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
