#include "results/pair_consolidation.hpp"

#include <unordered_map>
#include <unordered_set>

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/interruption.hpp"

namespace vombrelle {

namespace {

// The n-th tab-separated field of `text` (the text must hold at least n tabs).
std::string_view field_at(std::string_view text, std::size_t n, std::size_t& pos) {
    while (n > 0) {
        pos = text.find('\t', pos) + 1;
        --n;
    }
    std::size_t end = text.find('\t', pos);
    return text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

} // namespace

PeptidePair peptide_pair(std::string_view key) {
    const std::string_view line = strip_except_tab(key);
    std::size_t tabs = 0;
    for (char c : line) tabs += c == '\t';
    if (tabs < record_field::kPeptideB) throw index_error("list index out of range");
    std::size_t pos = 0;
    const std::string_view a = field_at(line, record_field::kPeptideA, pos);
    const std::string_view b = field_at(line, record_field::kPeptideB - record_field::kPeptideA, pos);
    return {first_alternative(strip(a)), first_alternative(strip(b))};
}

std::vector<std::string> XL_recurrence_score(std::span<const std::string_view> keys, const ItemFaults& faults,
                                             std::span<const HostOperand> scores,
                                             const DescendingSort& score_fallback,
                                             const DescendingSort& line_fallback,
                                             const ForeignRaise& foreign_raise) {
    // Every key is one CSM of its pair, in its own orientation.
    std::vector<PeptidePair> pairs;
    pairs.reserve(keys.size());
    std::unordered_map<std::string, std::int64_t> csm_count;
    csm_count.reserve(keys.size());
    std::string forward, reverse;  // reused across keys
    for (std::size_t i = 0; i < keys.size(); ++i) {
        interruption_point();
        faults.raise_if_at(i);
        pairs.push_back(peptide_pair(keys[i]));
        pair_text(forward, pairs.back().pep_a, pairs.back().pep_b);
        ++csm_count[forward];
    }
    auto count_of = [&](const std::string& pair) {
        auto it = csm_count.find(pair);
        return it == csm_count.end() ? std::int64_t{0} : it->second;
    };

    // The best key of each pair makes its line; ties go to the key that comes first.
    std::unordered_set<std::string> tracked;
    std::vector<std::string> lines;
    std::vector<HostNumber> line_scores;
    std::vector<std::size_t> foreign_lines;
    for (std::size_t i : descending_score_order(scores, score_fallback)) {
        interruption_point();
        const PeptidePair& p = pairs[i];
        pair_text(forward, p.pep_a, p.pep_b);
        pair_text(reverse, p.pep_b, p.pep_a);
        if (tracked.count(forward) != 0 || tracked.count(reverse) != 0) continue;
        std::int64_t count = p.pep_a == p.pep_b ? count_of(forward) : count_of(forward) + count_of(reverse);
        tracked.insert(forward);

        std::string line;
        line.reserve(keys[i].size() + 32);
        if (!scores[i].native() && foreign_raise) {
            line = foreign_raise(i, count - 1);
            foreign_lines.push_back(lines.size());
            line_scores.emplace_back();  // read back from the text once every line is made
        } else {
            HostNumber score = scores[i].left_of("+", HostNumber(count - 1));
            if (!score.is_int()) score = HostNumber(round_to(score.as_double(), 2));
            score.append_text(line);
            // The text written reads back as exactly this value.
            line_scores.push_back(score.is_int() ? HostNumber(score.as_double()) : score);
        }
        line.push_back('\t');
        append_int(line, count);
        line.push_back('\t');
        line.append(keys[i]);
        lines.push_back(std::move(line));
    }
    for (std::size_t j : foreign_lines) {
        const std::string_view line = lines[j];
        line_scores[j] = HostNumber(line_score(line));
    }

    std::vector<std::string> ordered;
    ordered.reserve(lines.size());
    for (std::size_t i : descending_order(line_scores, false, line_fallback)) ordered.push_back(std::move(lines[i]));
    return ordered;
}

} // namespace vombrelle
