// Three-scan groups: one peptide was isolated in both arm forms, the other once. The middle scan
// belongs to the peptide whose arm masses it completes: scans 1 and 2 (peptide A), or else scans
// 2 and 3 (peptide B), differ by linker_dm. Peptides come from the all-confidence table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/cross_link_record.hpp"
#include "common/sequence_agreement.hpp"
#include "search/search_run.hpp"

namespace vombrelle::search {

class ThreeScanGroups {
public:
    explicit ThreeScanGroups(SearchRun& run) : run_(run) {}

    // Whether the group stored its record (and so used up its scans).
    bool handle(const Ms3ScanGroup& group);

private:
    // Whose arm masses the middle scan completes: A's with scan 1, B's with scan 3. It may complete
    // both: A's side then takes its sequences, and the pairing looks both sides up in it.
    struct MiddleScan {
        bool of_a = false, of_b = false;
    };

    std::optional<MiddleScan> place_middle_scan(const Ms3ScanGroup& group, const GroupMasses& masses) const;
    bool agree_on_candidates(const Ms3ScanGroup& group, MiddleScan middle);
    bool pair_candidates(const Ms3ScanGroup& group, MiddleScan middle, double precursor_mh);
    bool accepted(bool paired);
    void store_record(const Ms3ScanGroup& group, std::int64_t parent, MiddleScan middle, const Precursor& precursor);

    SearchRun& run_;
    // The sequences of scans 1, 2 and both (A); of scans 3, 2 and both (B); the agreed candidates.
    SequenceList a1_, a2_, a_all_, b1_, b2_, b_all_, seq_a_, seq_b_, scratch_;
    SequenceList confident_[2];
    // What the pairing leaves: slots per lookup (A in scans 1 and 2, B in scans 3 and 2).
    PeptideFields peptides_;
    std::array<HostNumber, 4> qval_{};
    std::array<std::string_view, 4> confidence_{};
    std::string_view cross_link_class_;
    std::string letters_, scan_text_;
};

} // namespace vombrelle::search
