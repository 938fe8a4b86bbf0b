// FDR cut: orders ScoredCrossLinkLines best first and keeps the longest leading part of the list,
// the whole list included, whose decoy FDR estimate is at or below the cut-off; the result is
// that part's target lines without their decoy identifiers. A cut-off of 100 or more keeps every
// target line.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "results/item_faults.hpp"
#include "results/score_order.hpp"
#include "results/upper_limit.hpp"

namespace vombrelle {

struct FdrCut {
    std::size_t prefix = 0;                 // lines of the sorted list that passed (0: none)
    std::vector<std::string_view> targets;  // their target lines, stripped (the module's own estimate's)
    bool foreign_targets = false;           // the passing estimate was a bound one: its calls hold the targets
};

// The cut's estimates and its decoy removal are asked for by name, at each use, so a driver may
// have bound its own FDR_XL_list or remove_random in the module's place (and may even change the
// binding between two steps).
class FdrCutCalls {
public:
    virtual ~FdrCutCalls() = default;
    // Whether FDR_XL_list is the module's own at this step: the cut then decides every shorter
    // list itself.
    virtual bool native_estimate() = 0;
    // The bound estimate of these sorted lines (positions in the caller's list, best first) judged
    // against the cut-off: true when it passes (the calls keep what that estimate returned as the
    // target lines).
    virtual bool estimate_passes(std::span<const std::size_t> sorted_lines) = 0;
    // remove_random, as bound now, on the target lines of the list that passed.
    virtual void remove_random(const FdrCut& cut) = 0;
};

// filter_XL_FDR: each line's score (field 0 as a float, line by line; `lines` end where `faults`
// holds the item that ended the caller's list, which fails after them), the lines sorted best
// first (equal scores keep their order; NaN scores as `nan_order` places them), the cut-off
// compared, then the cut, and remove_random once when some leading part passed. An empty list asks
// nothing of `calls`.
FdrCut filter_XL_FDR(std::span<const std::string_view> lines, const ItemFaults& faults, const UpperLimit& cutoff,
                     FdrCutCalls& calls, const DescendingSort& nan_order = {});

} // namespace vombrelle
