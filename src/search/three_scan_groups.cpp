// Three-scan groups: one peptide was isolated in both arm forms, the other once. The middle scan
// belongs to the peptide whose arm masses it completes: scans 1 and 2 (peptide A), or else scans
// 2 and 3 (peptide B), differ by linker_dm. Peptides come from the all-confidence table.
#include <cmath>

#include "common/cross_link_mass.hpp"
#include "common/host_text.hpp"
#include "search/search_run.hpp"

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

bool SearchRun::three_scan_group(const Ms3ScanGroup& group) {
    const std::optional<std::int64_t> parent = parent_and_msn1(group);
    if (!parent) return false;
    const std::int64_t s1 = group.scans[0], s2 = group.scans[1], s3 = group.scans[2];
    measure(std::span(group.scans.data(), 3), *parent);
    if (!pairs_.matched) {
        // The middle scan stands in both middle roles of the rescue.
        if (args_.ms2_rescue) {
            rescue_mismatch(3, {&masses_.of(0), &masses_.of(1), &masses_.of(1), &masses_.of(2)}, {s1, s2, s2, s3},
                            *parent);
        }
        return false;
    }
    if (pairs_.matched_masses.size() < 2 || !signature_peaks(*parent)) return false;

    PsmMatchTable& all = tables_.psm.ms3.all;
    if (!all.contains(s1) || !all.contains(s3)) return false;
    // The arm test starts from each scan's first mass: a scan without one cannot be placed.
    for (std::size_t i = 0; i < 3; ++i) {
        if (masses_.of(i).empty()) return false;
    }
    const double m1 = masses_.of(0)[0], m2 = masses_.of(1)[0], m3 = masses_.of(2)[0];
    const double dm = args_.linker_dm.as_double();
    const bool a2 = kPairTolerance.contains(std::fabs(std::fabs(m1 - m2) - dm), dm);
    const bool b2 = kPairTolerance.contains(std::fabs(std::fabs(m3 - m2) - dm), dm);

    ThreeScanLists& l = three_scan_lists_;
    l.clear();
    if (all.contains(s1)) add_sequences(all, s1, l.a1, l.a_all);
    if (all.contains(s3)) add_sequences(all, s3, l.b1, l.b_all);
    if (all.contains(s2)) {
        if (a2) add_sequences(all, s2, l.a2, l.a_all);
        else if (b2) add_sequences(all, s2, l.b2, l.b_all);
    }
    seq_a_.clear();
    seq_b_.clear();
    bool agreed = false;
    if (a2) {
        agreed = agree_on_two_scans(all, s1, l.a1, s2, l.a2, l.a_all, seq_a_, l.confident);
        seq_b_ = l.b_all;
    } else if (b2) {
        agreed = agree_on_two_scans(all, s3, l.b1, s2, l.b2, l.b_all, seq_b_, l.confident);
        seq_a_ = l.a_all;
    }
    calls_.uniq(seq_a_);
    calls_.uniq(seq_b_);
    if (!agreed) return false;

    // Slots per lookup (A in scans 1 and 2, B in scans 3 and 2) keep the last PSM read there, and
    // a candidate's mass and proteins stay those last read for its side.
    std::array<HostNumber, 4> qval{0, 0, 0, 0};
    std::array<std::string_view, 4> confidence{kNoConfidence, kNoConfidence, kNoConfidence, kNoConfidence};
    std::string_view cross_link_class;
    bool paired = false;
    peptides_.clear();
    double mass_a = 0.0, mass_b = 0.0;
    const PsmRowTexts* texts_a = nullptr;
    const PsmRowTexts* texts_b = nullptr;
    auto look_up = [&](std::int64_t scan, std::string_view seq, std::size_t slot, double& mass, const PsmRowTexts*& texts) {
        if (const PsmRecord* r = read_psm(all, scan, seq)) {
            mass = r->pep_mass;
            texts = &all.texts(r->row);
            confidence[slot] = texts->confidence;
            qval[slot] = r->qval;
        }
    };
    for (const std::string_view a : seq_a_) {
        look_up(s1, a, 0, mass_a, texts_a);
        if (a2) look_up(s2, a, 1, mass_a, texts_a);
        for (const std::string_view b : seq_b_) {
            look_up(s3, b, 2, mass_b, texts_b);
            if (b2) look_up(s2, b, 3, mass_b, texts_b);
            if (!pair_explains(precursor_.mh, mass_a, mass_b, linker_mass_)) continue;
            peptides_.add_pair(a, b, texts_a, texts_b);
            paired = true;
            cross_link_class = class_by_bands(std::span(qval).first(2), std::span(qval).last(2));
        }
    }

    peptides_.make_distinct(calls_);
    if (!paired || !one_stripped_sequence(peptides_.a_seq, DistinctBy::UniqByName, calls_, scratch_) ||
        !one_stripped_sequence(peptides_.b_seq, DistinctBy::UniqByName, calls_, scratch_) ||
        !class_stores(cross_link_class)) {
        return false;
    }

    scan_text_.clear();
    append_scan_text(scan_text_, std::array<HostNumber, 3>{s1, s2, s3}, *parent);
    const HostNumber score = triplet_score(qval[0], qval[1], qval[2], qval[3]);
    // Letters in scan order when the middle scan is A's; else scan 1, scan 3, then the middle.
    letters_.clear();
    for (const std::size_t slot : a2 ? std::array<std::size_t, 3>{0, 1, 2} : std::array<std::size_t, 3>{0, 2, 3}) {
        append_confidence_letter(letters_, confidence[slot]);
    }
    scratch_.clear();
    store(record_text({cross_link_class, letters_, scan_text_, precursor_.mh, precursor_.charge, precursor_.mz,
                       peptides_, scratch_}),
          score);
    return true;
}

} // namespace vombrelle::search
