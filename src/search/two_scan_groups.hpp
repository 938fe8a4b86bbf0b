// Two-scan groups: scan `key` carries peptide A and scan `key` + 1 peptide B, both from the
// all-confidence table; the two may be the same peptide, whose record then scores double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/cross_link_record.hpp"
#include "common/sequence_agreement.hpp"
#include "search/search_run.hpp"

namespace vombrelle::search {

class TwoScanGroups {
public:
    explicit TwoScanGroups(SearchRun& run) : run_(run) {}

    // Whether the group stored its record (and so used up its scans).
    bool handle(const Ms3ScanGroup& group);

private:
    // What the pairing leaves: the q-values of the last candidate read on each side, and the
    // confidences of the PSMs last read on each side when the latest pair was accepted.
    struct Pairing {
        bool paired = false;
        std::string_view cross_link_class;
        std::string_view a_confidence = kNoConfidence, b_confidence = kNoConfidence;
        HostNumber a_qval = 0, b_qval = 0;
    };

    bool find_candidates(PsmMatchTable& all, std::int64_t key, std::int64_t next);
    Pairing pair_candidates(PsmMatchTable& all, std::int64_t key, std::int64_t next, bool candidates,
                            double precursor_mh);
    bool accepted(const Pairing& pairing, bool candidates);
    void store_record(std::int64_t key, std::int64_t next, std::int64_t parent, const Pairing& pairing,
                      const Precursor& precursor);

    SearchRun& run_;
    SequenceList a_list_, b_list_, seq_a_, seq_b_, scratch_;
    PeptideFields peptides_;
    std::string letters_, scan_text_;
    const Ms3MassList no_masses_a_, no_masses_b_;  // two new empty lists for the rescue's b1 and b2
};

} // namespace vombrelle::search
