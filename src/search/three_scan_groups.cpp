#include "search/three_scan_groups.hpp"

#include <cmath>

#include "common/cross_link_mass.hpp"
#include "common/cross_link_scoring.hpp"
#include "common/host_text.hpp"

namespace vombrelle::search {

namespace {

// The sequences of the peptide with two scans: what both scans agree on; all of them when one
// scan has none; failing agreement, what their High and Medium PSMs agree on.
bool agree_on_two_scans(PsmMatchTable& all, std::int64_t first_scan, const SequenceList& first,
                        std::int64_t second_scan, const SequenceList& second, const SequenceList& both,
                        SequenceList& out, SequenceList (&confident)[2]) {
    if (first.empty() || second.empty()) {
        if (both.empty()) return false;
        out = both;
        return true;
    }
    if (agree_on_sequences(first, second, out, false)) return true;
    keep_confident(all, first_scan, first, confident[0]);
    keep_confident(all, second_scan, second, confident[1]);
    return agree_on_confident_sequences(confident[0], confident[1], out);
}

void add_sequences(PsmMatchTable& all, std::int64_t scan, SequenceList& one, SequenceList& both) {
    for (const std::uint32_t row : read_pep_seq(all.read(scan))) {
        one.push_back(all.sequence(row));
        both.push_back(all.sequence(row));
    }
}

} // namespace

bool ThreeScanGroups::handle(const Ms3ScanGroup& group) {
    const std::optional<std::int64_t> parent = run_.parent_and_msn1(group);
    if (!parent) return false;
    const std::int64_t s1 = group.scans[0], s2 = group.scans[1], s3 = group.scans[2];
    const SearchRun::Measurement& measured = run_.measure(std::span(group.scans.data(), 3), *parent);
    const GroupMasses& masses = measured.masses;
    if (!measured.pairs.matched) {
        // The middle scan stands in both middle roles of the rescue.
        if (run_.args().ms2_rescue) {
            run_.rescue_mismatch(3, {&masses.of(0), &masses.of(1), &masses.of(1), &masses.of(2)}, {s1, s2, s2, s3},
                                 *parent);
        }
        return false;
    }
    const std::size_t matched_masses = measured.pairs.matched_masses.size();
    if (matched_masses < 2 || !run_.signature_peaks(*parent, matched_masses)) return false;
    const std::optional<MiddleScan> middle = place_middle_scan(group, masses);
    if (!middle || !agree_on_candidates(group, *middle)) return false;
    if (!accepted(pair_candidates(group, *middle, measured.precursor.mh))) return false;
    store_record(group, *parent, *middle, measured.precursor);
    return true;
}

// Scans 1 and 3 must have PSMs, and each scan a first mass for the arm test: |m1 - m2| is
// linker_dm within 20 ppm of linker_dm for A, |m3 - m2| for B.
std::optional<ThreeScanGroups::MiddleScan> ThreeScanGroups::place_middle_scan(const Ms3ScanGroup& group,
                                                                              const GroupMasses& masses) const {
    const PsmMatchTable& all = run_.tables().psm.ms3.all;
    if (!all.contains(group.scans[0]) || !all.contains(group.scans[2])) return std::nullopt;
    // The arm test starts from each scan's first mass: a scan without one cannot be placed.
    for (std::size_t i = 0; i < 3; ++i) {
        if (masses.of(i).empty()) return std::nullopt;
    }
    const double m1 = masses.of(0)[0], m2 = masses.of(1)[0], m3 = masses.of(2)[0];
    const double dm = run_.args().linker_dm.as_double();
    const bool a2 = kPairTolerance.contains(std::fabs(std::fabs(m1 - m2) - dm), dm);
    const bool b2 = kPairTolerance.contains(std::fabs(std::fabs(m3 - m2) - dm), dm);
    return MiddleScan{a2, b2};
}

// The candidates of the side with two scans are what those agree on; the other side's are all
// its scan's sequences. Both lists then pass through uniq, whatever agreed.
bool ThreeScanGroups::agree_on_candidates(const Ms3ScanGroup& group, MiddleScan middle) {
    PsmMatchTable& all = run_.tables().psm.ms3.all;
    const std::int64_t s1 = group.scans[0], s2 = group.scans[1], s3 = group.scans[2];
    for (SequenceList* l : {&a1_, &a2_, &a_all_, &b1_, &b2_, &b_all_}) l->clear();
    add_sequences(all, s1, a1_, a_all_);
    add_sequences(all, s3, b1_, b_all_);
    if (all.contains(s2)) {
        if (middle.of_a) add_sequences(all, s2, a2_, a_all_);
        else if (middle.of_b) add_sequences(all, s2, b2_, b_all_);
    }
    seq_a_.clear();
    seq_b_.clear();
    bool agreed = false;
    if (middle.of_a) {
        agreed = agree_on_two_scans(all, s1, a1_, s2, a2_, a_all_, seq_a_, confident_);
        seq_b_ = b_all_;
    } else if (middle.of_b) {
        agreed = agree_on_two_scans(all, s3, b1_, s2, b2_, b_all_, seq_b_, confident_);
        seq_a_ = a_all_;
    }
    run_.calls().uniq(seq_a_);
    run_.calls().uniq(seq_b_);
    return agreed;
}

// Every A x B pair of candidates. The slots keep the last PSM read there, and a candidate's mass
// and proteins stay those last read for its side. The accepted pairs' fields are made distinct.
bool ThreeScanGroups::pair_candidates(const Ms3ScanGroup& group, MiddleScan middle, double precursor_mh) {
    PsmMatchTable& all = run_.tables().psm.ms3.all;
    const std::int64_t s1 = group.scans[0], s2 = group.scans[1], s3 = group.scans[2];
    qval_ = {0, 0, 0, 0};
    confidence_ = {kNoConfidence, kNoConfidence, kNoConfidence, kNoConfidence};
    cross_link_class_ = {};
    peptides_.clear();
    bool paired = false;
    double mass_a = 0.0, mass_b = 0.0;
    const PsmRowTexts* texts_a = nullptr;
    const PsmRowTexts* texts_b = nullptr;
    auto look_up = [&](std::int64_t scan, std::string_view seq, std::size_t slot, double& mass, const PsmRowTexts*& texts) {
        if (const PsmRecord* r = read_psm(all, scan, seq)) {
            mass = r->pep_mass;
            texts = &all.texts(r->row);
            confidence_[slot] = texts->confidence;
            qval_[slot] = r->qval;
        }
    };
    for (const std::string_view a : seq_a_) {
        look_up(s1, a, 0, mass_a, texts_a);
        if (middle.of_a) look_up(s2, a, 1, mass_a, texts_a);
        for (const std::string_view b : seq_b_) {
            look_up(s3, b, 2, mass_b, texts_b);
            if (middle.of_b) look_up(s2, b, 3, mass_b, texts_b);
            if (!pair_explains(precursor_mh, mass_a, mass_b, run_.linker_mass())) continue;
            peptides_.add_pair(a, b, texts_a, texts_b);
            paired = true;
            cross_link_class_ = class_by_bands(std::span(qval_).first(2), std::span(qval_).last(2));
        }
    }
    peptides_.make_distinct(run_.calls());
    return paired;
}

// A pair was accepted, each side comes down to one stripped sequence (counted through uniq by
// name), and the class is one that stores.
bool ThreeScanGroups::accepted(bool paired) {
    return paired && one_stripped_sequence(peptides_.a_seq, DistinctBy::UniqByName, run_.calls(), scratch_) &&
           one_stripped_sequence(peptides_.b_seq, DistinctBy::UniqByName, run_.calls(), scratch_) &&
           class_stores(cross_link_class_);
}

void ThreeScanGroups::store_record(const Ms3ScanGroup& group, std::int64_t parent, MiddleScan middle,
                                   const Precursor& precursor) {
    scan_text_.clear();
    append_scan_text(scan_text_, std::array<HostNumber, 3>{group.scans[0], group.scans[1], group.scans[2]}, parent);
    const HostNumber score = triplet_score(qval_[0], qval_[1], qval_[2], qval_[3]);
    // Letters in scan order when the middle scan is A's; else scan 1, scan 3, then the middle.
    letters_.clear();
    for (const std::size_t slot : middle.of_a ? std::array<std::size_t, 3>{0, 1, 2} : std::array<std::size_t, 3>{0, 2, 3}) {
        append_confidence_letter(letters_, confidence_[slot]);
    }
    scratch_.clear();  // the group's remarks: there are none
    run_.store(record_text({cross_link_class_, letters_, scan_text_, precursor.mh, precursor.charge, precursor.mz,
                            peptides_, scratch_}),
               score);
}

} // namespace vombrelle::search
