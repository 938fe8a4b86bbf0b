// Decoy FDR estimate over a list of ScoredCrossLinkLines.
//
// Each distinct peptide pair counts once, by the first line that carries it (the pair text is
// "field 8:field 11", either orientation). A pair is a decoy when every protein identifier of
// peptide A (field 9) or every one of peptide B (field 12) is a decoy identifier. The FDR is the
// decoy pairs over all distinct pairs, in percent, rounded to 2 decimals.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vombrelle {

// A protein identifier is a decoy identifier when it contains "random" (case-sensitive).
bool is_decoy_identifier(std::string_view identifier);

// What a line contributes to the estimate of any list it heads or follows in: whether it is the
// first line of its pair (counted) and, if so, whether the pair is a decoy. A line's status
// depends only on the lines before it, so one pass serves every prefix of a list.
struct LineStatus {
    std::string_view text;  // the line without edge whitespace (tabs kept)
    bool counted = false;
    bool decoy = false;
};

// Statuses of all lines in order. Raises the host's index error for the first line with fewer
// than 12 fields, or with exactly 12 when it is counted (its field 12 is missing).
std::vector<LineStatus> classify_lines(std::span<const std::string_view> lines);

// round(decoys / pairs * 100, 2).
double fdr_percent(std::size_t decoys, std::size_t pairs);

// What FDR_XL_list gives in place of an estimate for an empty list.
inline constexpr std::string_view kNoEstimate = "NA";

struct FdrEstimate {
    std::optional<double> fdr;              // percent; none for an empty list (kNoEstimate)
    std::vector<std::string_view> targets;  // the counted non-decoy lines, stripped, in order
};

FdrEstimate FDR_XL_list(std::span<const std::string_view> lines);

// The estimate of the first `prefix` lines of already classified ones.
FdrEstimate estimate_prefix(std::span<const LineStatus> statuses, std::size_t prefix);

} // namespace vombrelle
