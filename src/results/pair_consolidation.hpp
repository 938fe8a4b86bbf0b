// Pair consolidation: one ScoredCrossLinkLine per unordered peptide pair.
//
// A ScoredCrossLinkLine is "score\tcount\tkey": the score of the pair's best key raised by one for
// every further cross-link spectrum match (CSM) of the pair and rounded to 2 decimals, the pair's
// CSM count, then the FractionScoreMap key unchanged (13 record fields and the fraction label), so
// 16 tab-separated fields. Lines come back best first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_operand.hpp"
#include "results/item_faults.hpp"
#include "results/score_order.hpp"

namespace vombrelle {

// The pair text "A:B" of a key: the first ";" alternatives of fields 6 and 9, read from the key
// with every edge whitespace but the tab removed and each field stripped (so that edge blanks
// neither hide a key from its pair's count nor shift its fields). Raises the host's index error
// for a key of fewer than 10 fields.
struct PeptidePair {
    std::string_view pep_a;
    std::string_view pep_b;
};
PeptidePair peptide_pair(std::string_view key);

// The text of a score the core cannot hold, raised by `extra` and rounded to 2 decimals.
using ForeignRaise = std::function<std::string(std::size_t key, std::int64_t extra)>;

// `keys` in map order with their scores. Every key is split first, in map order, so the first key
// that is too short or in `faults` raises. `score_fallback` orders scores the core cannot order
// natively and `line_fallback` lines whose scores read back as NaN (see descending_order);
// `foreign_raise` makes the score text of a score the core cannot hold (without it such a score
// fails as the host's type error).
std::vector<std::string> XL_recurrence_score(std::span<const std::string_view> keys, const ItemFaults& faults,
                                             std::span<const HostOperand> scores,
                                             const DescendingSort& score_fallback = {},
                                             const DescendingSort& line_fallback = {},
                                             const ForeignRaise& foreign_raise = {});

} // namespace vombrelle
