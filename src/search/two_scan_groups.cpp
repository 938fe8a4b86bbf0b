// Two-scan groups: scan `key` carries peptide A and scan `key` + 1 peptide B, both from the
// all-confidence table; the two may be the same peptide, whose record then scores double.
#include "common/cross_link_mass.hpp"
#include "common/host_text.hpp"
#include "search/search_run.hpp"

namespace vombrelle::search {

bool SearchRun::two_scan_group(const Ms3ScanGroup& group) {
    const std::optional<std::int64_t> parent = parent_and_msn1(group);
    if (!parent) return false;
    const std::int64_t key = group.scans[0], next = group.scans[1];
    PsmMatchTable& all = tables_.psm.ms3.all;
    if (!all.contains(key) || !all.contains(next)) return false;
    measure(std::span(group.scans.data(), 2), *parent);
    if (!pairs_.matched) {
        if (args_.ms2_rescue) rescue_mismatch(2, {&masses_.of(0), &masses_.of(1), &no_masses_a_, &no_masses_b_},
                                              {key, next, key, next}, *parent);
        return false;
    }
    if (!signature_peaks(*parent)) return false;

    // Candidates: the sequences the two scans share up to letter case, else all of each scan's.
    SequenceList& a_list = three_scan_lists_.a1;
    SequenceList& b_list = three_scan_lists_.b1;
    a_list.clear();
    b_list.clear();
    for (const std::uint32_t row : read_pep_seq(all.read(key))) a_list.push_back(all.sequence(row));
    for (const std::uint32_t row : read_pep_seq(all.read(next))) b_list.push_back(all.sequence(row));
    seq_a_.clear();
    seq_b_.clear();
    bool candidates = false;
    if (!a_list.empty() && !b_list.empty()) {
        if (a_list != b_list) {
            for (const std::string_view a : a_list) {
                for (const std::string_view b : b_list) {
                    if (!same_upper(a, b)) continue;
                    seq_a_.push_back(a);
                    seq_b_.push_back(b);
                    candidates = true;
                }
            }
        }
        if (!candidates) {
            seq_a_ = a_list;
            seq_b_ = b_list;
            candidates = true;
        }
    }
    calls_.uniq(seq_a_);
    calls_.uniq(seq_b_);

    // q-values are those of the last candidate read on each side; confidences those of the
    // records of the last accepted pair.
    peptides_.clear();
    std::string_view a_confidence = kNoConfidence, b_confidence = kNoConfidence, cross_link_class;
    HostNumber a_qval = 0, b_qval = 0;
    bool paired = false;
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
        if (!candidates) break;
        const Side side_a = read_side(key, a, a_record, a_qval);
        for (const std::string_view b : seq_b_) {
            const Side side_b = read_side(next, b, b_record, b_qval);
            if (!pair_explains(precursor_.mh, side_a.mass, side_b.mass, linker_mass_)) continue;
            peptides_.add_pair(a, b, side_a.texts, side_b.texts);
            if (a_record != nullptr) a_confidence = all.texts(a_record->row).confidence;
            if (b_record != nullptr) b_confidence = all.texts(b_record->row).confidence;
            cross_link_class = class_by_bands({&a_qval, 1}, {&b_qval, 1});
            paired = true;
        }
    }
    peptides_.make_distinct(calls_);

    if (!class_stores(cross_link_class) || !candidates || !paired ||
        !one_stripped_sequence(peptides_.a_seq, DistinctBy::UniqByName, calls_, scratch_) ||
        !one_stripped_sequence(peptides_.b_seq, DistinctBy::UniqByName, calls_, scratch_)) {
        return false;
    }
    scan_text_.clear();
    append_scan_text(scan_text_, std::array<HostNumber, 2>{key, next}, *parent);
    const HostNumber score = pair_score(a_qval, b_qval, peptides_.a_seq == peptides_.b_seq);
    scratch_.clear();
    calls_.uniq(scratch_);  // the group's remarks: there are none
    letters_.clear();
    append_confidence_letter(letters_, a_confidence);
    append_confidence_letter(letters_, b_confidence);
    store(record_text({cross_link_class, letters_, scan_text_, precursor_.mh, precursor_.charge, precursor_.mz,
                       peptides_, scratch_}),
          score);
    return true;
}

} // namespace vombrelle::search
