#include "search/four_scan_lookup.hpp"

#include "common/cross_link_mass.hpp"
#include "common/host_text.hpp"
#include "search/precursor_checks.hpp"

namespace vombrelle::search {

bool FourScanLookup::run(const FourScans& scans, double precursor_mh, double linker_mass) {
    scans_ = scans;
    precursor_mh_ = precursor_mh;
    linker_mass_ = linker_mass;
    found_.fill(false);
    confidence_.fill(kNoConfidence);
    qval_.fill(HostNumber(0));
    remarks_.clear();
    if (run_tier(kHigh) || run_tier(kMedHigh)) return true;
    run_tier(kAll);
    return false;
}

bool FourScanLookup::run_tier(Tier tier) {
    PsmMatchTable& table = tables_[tier];
    if (!((present(table, 0) || present(table, 1)) && (present(table, 2) || present(table, 3)))) return false;
    for (auto* lists : {&selected_, &all_}) {
        for (auto& l : *lists) l.clear();
    }
    for (std::size_t side = 0; side < 2; ++side) {
        side_selected_[side].clear();
        candidates_[side].clear();
    }
    collect(table);
    agreed_[0] = agree(table, 0, tier);
    agreed_[1] = agree(table, 1, tier);
    if (tier == kAll) {
        // The permissive tier pairs stripped sequences, and only when both sides have some.
        for (auto& side : candidates_) {
            for (auto& s : side) s = strip(s);
        }
        if (!(agreed_[0] && !candidates_[0].empty() && agreed_[1] && !candidates_[1].empty())) return false;
        calls_.uniq(candidates_[0]);
        calls_.uniq(candidates_[1]);
    } else {
        calls_.uniq(candidates_[0]);
        calls_.uniq(candidates_[1]);
        if (!(agreed_[0] && agreed_[1])) return false;
    }
    peptides_.clear();
    const bool accepted = pair(table);
    peptides_.make_distinct(calls_);
    return accepted && tier != kAll;
}

void FourScanLookup::collect(PsmMatchTable& table) {
    for (std::size_t scan = 0; scan < 4; ++scan) {
        if (!present(table, scan)) continue;
        PsmScanEntry& entry = table.read(scans_.number[scan]);
        if (const auto selected = read_selected(entry)) {
            selected_[scan].push_back(table.sequence(*selected));
            side_selected_[scan / 2].push_back(table.sequence(*selected));
        }
        for (const std::uint32_t row : read_pep_seq(entry)) all_[scan].push_back(table.sequence(row));
        found_[scan] = true;
    }
}

bool FourScanLookup::agree(const PsmMatchTable& table, std::size_t side, Tier tier) {
    const std::size_t x1 = 2 * side, x2 = x1 + 1;
    SequenceList& out = candidates_[side];
    if (!(found_[x1] && found_[x2])) {
        // One arm form alone speaks for its peptide, except in the permissive tier.
        if (tier == kAll || side_selected_[side].empty()) return false;
        out = side_selected_[side];
        return true;
    }
    const bool both_selected = !selected_[x1].empty() && !selected_[x2].empty();
    if (both_selected && agree_on_sequences(selected_[x1], selected_[x2], out, false)) return true;
    if (agree_on_sequences(all_[x1], all_[x2], out, tier == kAll)) return true;
    if (tier == kAll) {
        keep_confident(table, scans_.number[x1], selected_[x1], confident_[0]);
        keep_confident(table, scans_.number[x2], selected_[x2], confident_[1]);
        return agree_on_confident_sequences(confident_[0], confident_[1], out);
    }
    if (both_selected) remarks_.push_back(side == 0 ? "different_pep_A_seqs" : "different_pep_B_seqs");
    return false;
}

const PsmRecord* FourScanLookup::read_record(PsmMatchTable& table, std::size_t scan, std::string_view sequence) {
    if (scans_.cleared[scan]) return nullptr;
    return read_psm(table, scans_.number[scan], sequence);
}

bool FourScanLookup::pair(PsmMatchTable& table) {
    // The PSM of a sequence in the side's second scan replaces that of its first.
    struct Side {
        double mass = 0.0;
        const PsmRowTexts* texts = nullptr;
    };
    auto read_side = [&](std::size_t first_scan, std::string_view sequence) {
        Side side;
        for (std::size_t scan = first_scan; scan < first_scan + 2; ++scan) {
            if (const PsmRecord* r = read_record(table, scan, sequence)) {
                side.mass = r->pep_mass;
                side.texts = &table.texts(r->row);
                confidence_[scan] = side.texts->confidence;
                qval_[scan] = r->qval;
            }
        }
        return side;
    };
    bool accepted = false;
    for (const std::string_view a : candidates_[0]) {
        const Side pa = read_side(0, a);
        for (const std::string_view b : candidates_[1]) {
            const Side pb = read_side(2, b);
            if (!pair_explains(precursor_mh_, pa.mass, pb.mass, linker_mass_)) continue;
            peptides_.add_pair(a, b, pa.texts, pb.texts);
            accepted_a_qvals_ = {qval_[0], qval_[1]};
            accepted_b_qvals_ = {qval_[2], qval_[3]};
            accepted = true;
        }
    }
    return accepted;
}

} // namespace vombrelle::search
