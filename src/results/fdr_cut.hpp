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

// Whether an estimate (percent, rounded to 2 decimals) is at or below the cut-off.
using CutoffTest = std::function<bool(double fdr)>;

// The estimates of a cut are asked for by name, at every step, so a driver may have bound its own
// estimate in FDR_XL_list's place (and may even change the binding between two steps).
class CutEstimator {
public:
    virtual ~CutEstimator() = default;
    // Whether FDR_XL_list is the module's own at this step: the cut then decides every shorter
    // list itself.
    virtual bool native() = 0;
    // The bound estimate of the first `m` sorted lines judged against the cut-off: true when it
    // passes (the estimator keeps what that estimate returned as the target lines).
    virtual bool passes(std::size_t m) = 0;
};

struct FdrCut {
    std::size_t prefix = 0;                 // lines of the sorted list that passed (0: none)
    std::vector<std::string_view> targets;  // their target lines, stripped (the native estimate's)
    bool foreign_targets = false;           // the passing estimate was the estimator's: it holds the targets
};

// The cut over lines already in descending score order: the longest leading part, the whole list
// first, whose estimate passes. The module's own estimate decides every shortened list in one pass
// (a line's status depends only on the lines before it, so prefix counts decide every prefix).
// With an `estimator`, each step first asks whether the estimate is still the module's own.
FdrCut fdr_cut(std::span<const std::string_view> sorted_lines, const CutoffTest& passes,
               CutEstimator* estimator = nullptr);

} // namespace vombrelle
