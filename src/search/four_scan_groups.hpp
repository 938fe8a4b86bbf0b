// Four-scan groups: scans a1 and a2 carry peptide A in its two arm forms, b1 and b2 peptide B. A
// group no pair explains may still be rescued; one that is explained clears the scans none of
// whose masses took part in a match, then looks its peptides up through the tiers of
// common/arm_scan_tiers.hpp in the MS3 search's tables.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/arm_scan_tiers.hpp"
#include "search/search_run.hpp"

namespace vombrelle::search {

class FourScanGroups {
public:
    explicit FourScanGroups(SearchRun& run) : run_(run) {}

    // Whether the group stored its record (and so used up its scans).
    bool handle(const Ms3ScanGroup& group);

private:
    // The group's scans as PSM table keys, a1, a2, b1, b2; none for a cleared scan.
    using ScanKeys = std::array<std::optional<std::int64_t>, 4>;

    bool rescue_unexplained(const Ms3ScanGroup& group, std::int64_t parent, const SearchRun::Measurement& measured);
    void adopt_derived_precursor(std::string_view derived);
    static ScanKeys scans_in_matches(const Ms3ScanGroup& group, const SearchRun::Measurement& measured);
    bool look_up_peptides(const ScanKeys& scans);
    bool one_peptide_per_side();
    void store_record(const Ms3ScanGroup& group, const ScanKeys& scans, std::int64_t parent);

    SearchRun& run_;
    Precursor precursor_;  // the parent's, or the one the precursor-mass rescue derived
    ArmScanTiers tiers_;
    std::vector<std::string_view> scratch_;
    std::string letters_, scan_text_;
};

} // namespace vombrelle::search
