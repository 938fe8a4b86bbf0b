// FDR cut: orders ScoredCrossLinkLines best first and keeps the longest leading part of the list,
// the whole list included, whose decoy FDR estimate is at or below the cut-off; the result is
// that part's target lines without their decoy identifiers. A cut-off of 100 or more keeps every
// target line.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/number.hpp"
#include "results/fdr.hpp"
#include "results/score_order.hpp"

namespace vombrelle {

// line_score of every line.
std::vector<HostNumber> line_scores(std::span<const std::string_view> lines);

// A NaN cut-off compares false with every estimate and would silently keep nothing.
void check_cutoff(HostNumber cutoff);

// The longest prefix length m, from n down to 1, for which `passes(m)` holds; 0 when none does.
// This is the cut as a plain loop, for estimates made by someone else.
std::size_t longest_passing_prefix(std::size_t n, const std::function<bool(std::size_t)>& passes);

struct FdrCut {
    std::size_t prefix = 0;                 // lines of the sorted list that passed (0: none)
    std::vector<std::string_view> targets;  // their target lines, stripped
};

// Whether an estimate (percent, rounded to 2 decimals) is at or below the cut-off.
using CutoffTest = std::function<bool(double fdr)>;

// The cut over lines already in descending score order, in one pass: a line's status in the
// estimate depends only on the lines before it, so prefix counts decide every shortened list.
FdrCut fdr_cut(std::span<const std::string_view> sorted_lines, const CutoffTest& passes);

} // namespace vombrelle
