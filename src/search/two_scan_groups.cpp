#include "search/two_scan_groups.hpp"

#include "common/cross_link_mass.hpp"
#include "common/cross_link_scoring.hpp"
#include "common/host_text.hpp"

namespace vombrelle::search {

bool TwoScanGroups::handle(const Ms3ScanGroup& group) {
    const std::optional<std::int64_t> parent = run_.parent_and_msn1(group);
    if (!parent) return false;
    const std::int64_t key = group.scans[0], next = group.scans[1];
    PsmMatchTable& all = run_.tables().psm.ms3.all;
    // Before measuring: a group whose scans have no PSMs never reaches the rescue.
    if (!all.contains(key) || !all.contains(next)) return false;
    const SearchRun::Measurement& measured = run_.measure(std::span(group.scans.data(), 2), *parent);
    if (!measured.pairs.matched) {
        if (run_.args().ms2_rescue) {
            run_.rescue_mismatch(2, {&measured.masses.of(0), &measured.masses.of(1), &no_masses_a_, &no_masses_b_},
                                 {key, next, key, next}, *parent);
        }
        return false;
    }
    if (!run_.signature_peaks(*parent, measured.pairs.matched_masses.size())) return false;
    const bool candidates = find_candidates(all, key, next);
    const Pairing pairing = pair_candidates(all, key, next, candidates, measured.precursor.mh);
    if (!accepted(pairing, candidates)) return false;
    store_record(key, next, *parent, pairing, measured.precursor);
    return true;
}

// The sequences the two scans share up to letter case, else all of each scan's. Both lists then
// pass through uniq, whatever was found.
bool TwoScanGroups::find_candidates(PsmMatchTable& all, std::int64_t key, std::int64_t next) {
    a_list_.clear();
    b_list_.clear();
    for (const std::uint32_t row : read_pep_seq(all.read(key))) a_list_.push_back(all.sequence(row));
    for (const std::uint32_t row : read_pep_seq(all.read(next))) b_list_.push_back(all.sequence(row));
    seq_a_.clear();
    seq_b_.clear();
    bool candidates = false;
    if (!a_list_.empty() && !b_list_.empty()) {
        if (a_list_ != b_list_) {
            for (const std::string_view a : a_list_) {
                for (const std::string_view b : b_list_) {
                    if (!same_upper(a, b)) continue;
                    seq_a_.push_back(a);
                    seq_b_.push_back(b);
                    candidates = true;
                }
            }
        }
        if (!candidates) {
            seq_a_ = a_list_;
            seq_b_ = b_list_;
            candidates = true;
        }
    }
    run_.calls().uniq(seq_a_);
    run_.calls().uniq(seq_b_);
    return candidates;
}

// Every A x B pair of candidates. The accepted pairs' fields are made distinct.
TwoScanGroups::Pairing TwoScanGroups::pair_candidates(PsmMatchTable& all, std::int64_t key, std::int64_t next,
                                                      bool candidates, double precursor_mh) {
    Pairing p;
    peptides_.clear();
    const PsmRecord* a_record = nullptr;
    const PsmRecord* b_record = nullptr;
    // A candidate's mass (0 when its scan does not list it) and proteins; the record read is kept.
    struct Side {
        double mass = 0.0;
        const PsmRowTexts* texts = nullptr;
    };
    auto read_side = [&](std::int64_t scan, std::string_view seq, const PsmRecord*& record, HostNumber& qval) {
        Side side;
        if (const PsmRecord* r = read_psm(all, scan, seq)) {
            record = r;
            side = Side{r->pep_mass, &all.texts(r->row)};
            qval = r->qval;
        }
        return side;
    };
    for (const std::string_view a : seq_a_) {
        // Without candidates nothing is paired, whatever a rebound uniq made of the empty lists.
        if (!candidates) break;
        const Side side_a = read_side(key, a, a_record, p.a_qval);
        for (const std::string_view b : seq_b_) {
            const Side side_b = read_side(next, b, b_record, p.b_qval);
            if (!pair_explains(precursor_mh, side_a.mass, side_b.mass, run_.linker_mass())) continue;
            peptides_.add_pair(a, b, side_a.texts, side_b.texts);
            if (a_record != nullptr) p.a_confidence = all.texts(a_record->row).confidence;
            if (b_record != nullptr) p.b_confidence = all.texts(b_record->row).confidence;
            p.cross_link_class = class_by_bands({&p.a_qval, 1}, {&p.b_qval, 1});
            p.paired = true;
        }
    }
    peptides_.make_distinct(run_.calls());
    return p;
}

// The class is one that stores, there were candidates and an accepted pair, and each side comes
// down to one stripped sequence (counted through uniq by name).
bool TwoScanGroups::accepted(const Pairing& pairing, bool candidates) {
    return class_stores(pairing.cross_link_class) && candidates && pairing.paired &&
           one_stripped_sequence(peptides_.a_seq, DistinctBy::UniqByName, run_.calls(), scratch_) &&
           one_stripped_sequence(peptides_.b_seq, DistinctBy::UniqByName, run_.calls(), scratch_);
}

void TwoScanGroups::store_record(std::int64_t key, std::int64_t next, std::int64_t parent, const Pairing& pairing,
                                 const Precursor& precursor) {
    scan_text_.clear();
    append_scan_text(scan_text_, std::array<HostNumber, 2>{key, next}, parent);
    const HostNumber score = pair_score(pairing.a_qval, pairing.b_qval, peptides_.a_seq == peptides_.b_seq);
    scratch_.clear();
    run_.calls().uniq(scratch_);  // the group's remarks: there are none
    letters_.clear();
    append_confidence_letter(letters_, pairing.a_confidence);
    append_confidence_letter(letters_, pairing.b_confidence);
    run_.store(record_text({pairing.cross_link_class, letters_, scan_text_, precursor.mh, precursor.charge,
                            precursor.mz, peptides_, scratch_}),
               score);
}

} // namespace vombrelle::search
