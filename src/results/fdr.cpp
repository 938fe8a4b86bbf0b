#include "results/fdr.hpp"

#include <string>
#include <unordered_set>

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/interruption.hpp"

namespace vombrelle {

namespace {

using namespace scored_line_field;

bool all_decoys(std::string_view accessions) {
    // Splitting always gives at least one piece, so an empty field is one empty, non-decoy id.
    std::size_t start = 0;
    while (true) {
        std::size_t end = accessions.find(';', start);
        if (!is_decoy_identifier(accessions.substr(start, end == std::string_view::npos ? end : end - start))) {
            return false;
        }
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

} // namespace

bool is_decoy_identifier(std::string_view identifier) { return identifier.find("random") != std::string_view::npos; }

std::vector<LineStatus> classify_lines(std::span<const std::string_view> lines) {
    std::vector<LineStatus> statuses;
    statuses.reserve(lines.size());
    std::unordered_set<std::string> seen;  // "A:B" of every counted pair, as its first line has it
    std::vector<std::string_view> fields;
    std::string forward, reverse;  // reused: most lines repeat a pair and store nothing
    for (std::string_view raw : lines) {
        interruption_point();
        LineStatus status;
        // Edge tabs are empty fields, not padding: stripping them would shift every column.
        status.text = strip_except_tab(raw);
        split(status.text, "\t", fields);
        if (fields.size() <= kPeptideB) throw index_error("list index out of range");
        pair_text(forward, fields[kPeptideA], fields[kPeptideB]);
        pair_text(reverse, fields[kPeptideB], fields[kPeptideA]);
        if (seen.count(forward) == 0 && seen.count(reverse) == 0) {
            if (fields.size() <= kAccessionsB) throw index_error("list index out of range");
            status.counted = true;
            status.decoy = all_decoys(fields[kAccessionsA]) || all_decoys(fields[kAccessionsB]);
            seen.insert(forward);
        }
        statuses.push_back(status);
    }
    return statuses;
}

double fdr_percent(std::size_t decoys, std::size_t pairs) {
    return round_to(static_cast<double>(decoys) / static_cast<double>(pairs) * 100.0, 2);
}

FdrEstimate estimate_prefix(std::span<const LineStatus> statuses, std::size_t prefix) {
    FdrEstimate estimate;
    std::size_t pairs = 0, decoys = 0;
    for (std::size_t i = 0; i < prefix; ++i) {
        const LineStatus& s = statuses[i];
        if (!s.counted) continue;
        ++pairs;
        if (s.decoy) ++decoys;
        else estimate.targets.push_back(s.text);
    }
    if (pairs > 0) estimate.fdr = fdr_percent(decoys, pairs);
    return estimate;
}

FdrEstimate FDR_XL_list(std::span<const std::string_view> lines) {
    const std::vector<LineStatus> statuses = classify_lines(lines);
    return estimate_prefix(statuses, statuses.size());
}

} // namespace vombrelle
