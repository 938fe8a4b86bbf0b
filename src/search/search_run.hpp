// One search call: the walk over the MS3 scan groups and the road of each group by its size.
// Internal to the search; find_cross_links (cross_link_search.hpp) is its entry.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/cross_link_record.hpp"
#include "common/cross_link_scoring.hpp"
#include "common/parent_lookup.hpp"
#include "common/scan_grouping.hpp"
#include "search/cross_link_search.hpp"
#include "search/four_scan_lookup.hpp"
#include "search/precursor_checks.hpp"

namespace vombrelle::search {

class SearchRun {
public:
    SearchRun(SearchTables& tables, const SearchArguments& args, NamedCalls& calls);

    CrossLinkScoreMap run();

private:
    // Each road returns whether the group stored its record (and so used up its scans).
    bool four_scan_group(const Ms3ScanGroup& group);
    bool three_scan_group(const Ms3ScanGroup& group);
    bool two_scan_group(const Ms3ScanGroup& group);

    // The parent MS2 scan, when the group has one and all its scans are in the msn-1 table.
    std::optional<std::int64_t> parent_and_msn1(const Ms3ScanGroup& group) const;
    // The group's masses, its parent's precursor and the pair test, in that order.
    void measure(std::span<const std::int64_t> scans, std::int64_t parent);
    // The Rescue_PrecMismatch_XLs hand-off of a group no pair explains, the lists and scans given in
    // the callee's roles a1, a2, b1, b2; returns whether records were copied.
    bool rescue_mismatch(std::int64_t spec_mode, const std::array<const Ms3MassList*, 4>& lists,
                         const std::array<std::int64_t, 4>& scans, std::int64_t parent);
    bool signature_peaks(std::int64_t parent) const;
    // Stores a record: result[text] = score.
    void store(std::string&& record, HostNumber score) { result_.insert_or_assign(std::move(record), score); }

    SearchTables& tables_;
    const SearchArguments& args_;
    NamedCalls& calls_;
    double linker_mass_;
    double linker_deficit_;

    HeaderClasses classes_;
    Ms3HeaderTable ms3_;
    ParentLookup parents_;
    CrossLinkScoreMap result_;

    // The group being handled.
    GroupMasses masses_;
    Precursor precursor_;
    PairTest pairs_;
    FourScanLookup four_scans_;
    PeptideFields peptides_;
    SequenceList seq_a_, seq_b_, scratch_;
    struct ThreeScanLists {
        SequenceList a1, a2, a_all, b1, b2, b_all;  // sequences of scans 1, 2 and both (A); 3, 2 and both (B)
        SequenceList confident[2];
        void clear() {
            for (auto* l : {&a1, &a2, &a_all, &b1, &b2, &b_all}) l->clear();
        }
    } three_scan_lists_;
    std::string letters_, scan_text_;
    const Ms3MassList no_masses_a_, no_masses_b_;  // two new empty lists where a caller passes them
};

} // namespace vombrelle::search
