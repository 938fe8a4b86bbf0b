// The cross-link record, the search's tab-separated result line: how the search and the rescued
// builder make it, its layout, and the pair text by which its two peptides are recognised.
//
// A record holds 13 fields: the class, one confidence letter per scan, the scans, the precursor
// MH+, charge and m/z, the sequences, protein accessions and descriptions of peptide A and then of
// peptide B (each ";"-joined), and the remarks. The FractionScoreMap key appends the fraction label
// as field 13, and a ScoredCrossLinkLine puts the score and the CSM count in front of the key, so
// there every record field sits two places further on. Every stage that reads records or lines by
// position takes the positions from here.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_text.hpp"
#include "common/number.hpp"

namespace vombrelle {

class NamedCalls;
struct PsmRowTexts;

// The confidence letter of a scan no PSM was read from.
inline constexpr std::string_view kNoConfidence = "_";

// Appends the first character of a PSM confidence ("High" gives "H"); the empty text has none and
// raises IndexError, as the host's indexing does.
void append_confidence_letter(std::string& out, std::string_view confidence);

// The record's peptide fields: sequences, protein accessions and descriptions of A and of B.
struct PeptideFields {
    std::vector<std::string_view> a_seq, b_seq, a_id, b_id, a_desc, b_desc;

    void clear();
    // One accepted pair: both sequences, and the proteins of each side's PSM where one was read.
    void add_pair(std::string_view a, std::string_view b, const PsmRowTexts* a_psm, const PsmRowTexts* b_psm);
    // Each list reduced to its distinct entries through uniq, called by name in this order: A's and
    // B's sequences, accessions, descriptions.
    void make_distinct(NamedCalls& calls);
};

// How an acceptance finds the distinct sequences of a side: through uniq called by name (a call
// the driver sees, and may have rebound), or counted here. Each acceptance does as the module's
// own search has always done: the three- and two-scan groups and the rescued builder call uniq,
// the four-scan groups count.
enum class DistinctBy { UniqByName, CountedHere };

// Whether the sequences, each stripped, come down to exactly one distinct text.
bool one_stripped_sequence(const std::vector<std::string_view>& sequences, DistinctBy by, NamedCalls& calls,
                           std::vector<std::string_view>& scratch);

// Appends the record's scan field: the MS3 scans joined by ":", then "," and the parent MS2 scan,
// each as the caller holds it (an int prints as an int, a float as a float, a bool as a word).
void append_scan_text(std::string& out, std::span<const HostNumber> ms3_scans, HostNumber parent);

// A record's fields before they become its text.
struct CrossLinkRecord {
    std::string_view cross_link_class;
    std::string_view letters;  // one confidence letter per scan
    std::string_view scans;    // append_scan_text's field
    HostNumber mh;             // precursor MH+ (Da)
    HostNumber charge;
    HostNumber mz;             // precursor m/z
    const PeptideFields& peptides;
    std::span<const std::string_view> remarks;
};

// The 13 tab-separated fields.
std::string record_text(const CrossLinkRecord& record);

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
