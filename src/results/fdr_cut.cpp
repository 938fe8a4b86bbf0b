#include "results/fdr_cut.hpp"

#include <cmath>

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "results/fdr.hpp"

namespace vombrelle {

namespace {

// The cut starts from an estimate of 100 percent and compares it with the cut-off before it takes
// a line off, so a cut-off that does not compare with a number fails there, even for an empty
// list. A NaN cut-off would compare false with every estimate and silently keep nothing.
void check_cutoff(const UpperLimit& cutoff) {
    if (!cutoff.value.native()) {
        cutoff.admits(100.0);
        return;
    }
    const HostNumber c = cutoff.value.number();
    if (!c.is_int() && std::isnan(c.as_double())) throw value_error("FDR_cutoff must not be NaN");
}

// The module's own estimate decides every shortened list in one pass: a line's status depends only
// on the lines before it, so prefix counts decide every prefix.
FdrCut native_cut(std::span<const std::string_view> sorted_lines, const UpperLimit& cutoff) {
    const std::vector<LineStatus> statuses = classify_lines(sorted_lines);
    // pairs[m] and decoys[m]: counts over the first m lines.
    std::vector<std::size_t> pairs(statuses.size() + 1, 0), decoys(statuses.size() + 1, 0);
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        pairs[i + 1] = pairs[i] + (statuses[i].counted ? 1 : 0);
        decoys[i + 1] = decoys[i] + (statuses[i].counted && statuses[i].decoy ? 1 : 0);
    }
    FdrCut cut;
    // Every non-empty prefix counts its first line, so pairs[m] > 0 for m >= 1.
    for (std::size_t m = statuses.size(); m > 0; --m) {
        if (cutoff.admits(fdr_percent(decoys[m], pairs[m]))) {
            cut.prefix = m;
            cut.targets = estimate_prefix(statuses, m).targets;
            break;
        }
    }
    return cut;
}

// The longest leading part, the whole list first, whose estimate passes; each step first asks
// whether the estimate is still the module's own.
FdrCut cut(std::span<const std::string_view> sorted_lines, std::span<const std::size_t> order,
           const UpperLimit& cutoff, FdrCutCalls& calls) {
    for (std::size_t m = sorted_lines.size(); m > 0; --m) {
        if (calls.native_estimate()) return native_cut(sorted_lines.first(m), cutoff);
        if (calls.estimate_passes(order.first(m))) return FdrCut{m, {}, true};
    }
    return {};
}

} // namespace

FdrCut filter_XL_FDR(std::span<const std::string_view> lines, const ItemFaults& faults, const UpperLimit& cutoff,
                     FdrCutCalls& calls, const DescendingSort& nan_order) {
    std::vector<HostNumber> keys;
    keys.reserve(lines.size());
    for (std::string_view line : lines) keys.emplace_back(line_score(line));
    // The caller's list ends at its first item that is no text: it fails once the lines before it
    // have their scores.
    faults.raise_if_at(lines.size());
    const std::vector<std::size_t> order = descending_order(keys, false, nan_order);
    check_cutoff(cutoff);
    std::vector<std::string_view> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(lines[i]);
    FdrCut result = cut(sorted, order, cutoff, calls);
    if (result.prefix > 0) calls.remove_random(result);
    return result;
}

} // namespace vombrelle
