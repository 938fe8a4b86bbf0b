#include "common/arm_scan_tiers.hpp"

#include <algorithm>
#include <span>
#include <string>

#include "common/cross_link_mass.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle {

namespace {

// `sequence in entry["pep_seq"]` and, when it is, entry[sequence]: the host's default-inserting
// reads of the caller's table.
const PsmRecord* read_listed_psm(PsmMatchTable& table, std::int64_t scan, std::string_view sequence) {
    PsmScanEntry& entry = table.read(scan);
    const std::span<const std::uint32_t> rows = read_pep_seq(entry);
    bool listed = std::ranges::any_of(rows, [&](std::uint32_t row) { return table.sequence(row) == sequence; });
    // A read-made entry holds "" under "pep_seq", a text in which only "" is found.
    if (entry.made_by_read) listed = sequence.empty();
    if (!listed) return nullptr;
    const PsmRecord* record = table.find_record(entry, sequence);
    // Only an entry the reader did not build lacks the record: the host's read yields "", which
    // cannot be indexed by a key, or, from a driver's plain map, raises KeyError.
    if (record == nullptr) {
        if (!entry.keys_insert) throw key_error(std::string(sequence));
        throw type_error("string indices must be integers");
    }
    return record;
}

} // namespace

void ArmScanTiers::start(const std::array<std::optional<std::int64_t>, 4>& keys) {
    keys_ = keys;
    found_.fill(false);
    confidence_.fill(kNoConfidence);
    qval_.fill(HostNumber(0));
    remarks_.clear();
}

bool ArmScanTiers::run_tier(PsmMatchTable& side_a, PsmMatchTable& side_b, const TierRules& rules,
                            double precursor_mh, double linker_mass, NamedCalls& calls) {
    if (!each_side_has_a_scan(side_a, side_b, keys_)) return false;
    collect(side_a, side_b);
    const bool a_agreed = agree(0, side_a, rules);
    const bool b_agreed = agree(1, side_b, rules);
    if (rules.stripped_candidates) {
        for (SequenceList& side : candidates_) {
            for (std::string_view& s : side) s = strip(s);
        }
        if (!(a_agreed && !candidates_[0].empty() && b_agreed && !candidates_[1].empty())) return false;
        calls.uniq(candidates_[0]);
        calls.uniq(candidates_[1]);
    } else {
        calls.uniq(candidates_[0]);
        calls.uniq(candidates_[1]);
        if (!(a_agreed && b_agreed)) return false;
    }
    pairs_.clear();
    const bool accepted = pair(side_a, side_b, rules, precursor_mh, linker_mass);
    pairs_.make_distinct(calls);
    return accepted;
}

void ArmScanTiers::collect(PsmMatchTable& side_a, PsmMatchTable& side_b) {
    for (std::size_t scan = kA1; scan <= kB2; ++scan) {
        selected_[scan].clear();
        all_[scan].clear();
        PsmMatchTable& table = scan <= kA2 ? side_a : side_b;
        if (!keys_[scan] || !table.contains(*keys_[scan])) continue;
        PsmScanEntry& entry = table.read(*keys_[scan]);
        if (const std::optional<std::uint32_t> row = read_selected(entry)) selected_[scan].push_back(table.sequence(*row));
        for (const std::uint32_t row : read_pep_seq(entry)) all_[scan].push_back(table.sequence(row));
        found_[scan] = true;
    }
}

bool ArmScanTiers::agree(std::size_t side, const PsmMatchTable& table, const TierRules& rules) {
    const std::size_t x1 = 2 * side, x2 = x1 + 1;
    SequenceList& out = candidates_[side];
    out.clear();
    auto take_selections = [&] {
        out.insert(out.end(), selected_[x1].begin(), selected_[x1].end());
        out.insert(out.end(), selected_[x2].begin(), selected_[x2].end());
    };
    if (!(found_[x1] && found_[x2])) {
        if (!rules.lone_scan_speaks) return false;
        take_selections();
        return !out.empty();
    }
    const bool both_selected = !selected_[x1].empty() && !selected_[x2].empty();
    if (both_selected && agree_on_sequences(selected_[x1], selected_[x2], out, false)) return true;
    if (agree_on_sequences(all_[x1], all_[x2], out, rules.empty_lists_agree)) return true;
    switch (rules.fallback) {
        case TierRules::Fallback::ConfidentSelections:
            // Both scans were found, so both have keys; a scan without a selection is not looked at.
            keep_confident(table, *keys_[x1], selected_[x1], confident_[0]);
            keep_confident(table, *keys_[x2], selected_[x2], confident_[1]);
            return agree_on_confident_sequences(confident_[0], confident_[1], out);
        case TierRules::Fallback::SelectingScan:
            if (!both_selected) {
                take_selections();
                return true;
            }
            break;
        case TierRules::Fallback::Disagree:
            break;
    }
    if (both_selected) remarks_.push_back(side == 0 ? kDifferentASeqs : kDifferentBSeqs);
    return false;
}

ArmScanTiers::Candidate ArmScanTiers::read_candidate(PsmMatchTable& table, std::size_t first_scan,
                                                     std::string_view sequence, TierRules::CandidateRead read) {
    Candidate candidate;
    for (std::size_t scan = first_scan; scan < first_scan + 2; ++scan) {
        if (!keys_[scan]) continue;
        const PsmRecord* r = read == TierRules::CandidateRead::RecordIfAny
                                 ? read_psm(table, *keys_[scan], sequence)
                                 : read_listed_psm(table, *keys_[scan], sequence);
        if (r == nullptr) continue;
        const PsmRowTexts& texts = table.texts(r->row);
        candidate.mass = r->pep_mass;
        candidate.texts = &texts;
        confidence_[scan] = texts.confidence;
        qval_[scan] = r->qval;
    }
    return candidate;
}

bool ArmScanTiers::pair(PsmMatchTable& side_a, PsmMatchTable& side_b, const TierRules& rules, double precursor_mh,
                        double linker_mass) {
    bool accepted = false;
    for (const std::string_view a : candidates_[0]) {
        const Candidate pa = read_candidate(side_a, kA1, a, rules.read);
        // No early exit: every pair is tested, and every test reads side B's scans again.
        for (const std::string_view b : candidates_[1]) {
            const Candidate pb = read_candidate(side_b, kB1, b, rules.read);
            if (!pair_explains(precursor_mh, pa.mass, pb.mass, linker_mass)) continue;
            pairs_.add_pair(a, b, pa.texts, pb.texts);
            pair_qvals_ = qval_;
            accepted = true;
        }
    }
    return accepted;
}

} // namespace vombrelle
