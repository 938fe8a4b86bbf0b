#include "results/fdr_cut.hpp"

#include <cmath>

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle {

std::vector<HostNumber> line_scores(std::span<const std::string_view> lines) {
    std::vector<HostNumber> keys;
    keys.reserve(lines.size());
    for (std::string_view line : lines) keys.emplace_back(line_score(line));
    return keys;
}

void check_cutoff(HostNumber cutoff) {
    if (!cutoff.is_int() && std::isnan(cutoff.as_double())) throw value_error("FDR_cutoff must not be NaN");
}

namespace {

FdrCut native_cut(std::span<const std::string_view> sorted_lines, const CutoffTest& passes) {
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
        if (passes(fdr_percent(decoys[m], pairs[m]))) {
            cut.prefix = m;
            cut.targets = estimate_prefix(statuses, m).targets;
            break;
        }
    }
    return cut;
}

} // namespace

FdrCut fdr_cut(std::span<const std::string_view> sorted_lines, const CutoffTest& passes, CutEstimator* estimator) {
    for (std::size_t m = sorted_lines.size(); m > 0; --m) {
        if (estimator == nullptr || estimator->native()) return native_cut(sorted_lines.first(m), passes);
        if (estimator->passes(m)) return FdrCut{m, {}, true};
    }
    return {};
}

} // namespace vombrelle
