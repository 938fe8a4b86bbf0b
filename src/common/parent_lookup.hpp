// The parent MS2 scan of an MS3 group: the nearest MS2 scan below the group's first scan (and
// not below scan 0) whose header list equals that of the first scan in the MS3 table.
//
// Walking the scan numbers downward would cost one probe per scan number, all the way to 0 for
// a group without a parent; instead the MS2 scans are indexed by header list, each list holding
// its scan numbers in ascending order, and the parent is found by one binary search.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/scan_table.hpp"
#include "common/scan_grouping.hpp"

namespace vombrelle {

class ParentLookup {
public:
    // Indexes the MS2 scans whose header list some MS3 scan carries (no other can be a parent).
    ParentLookup(const SpectrumTable& ms2, const HeaderClasses& classes);

    // The parent of a group whose first scan is `first_scan` with header class `header_class`.
    std::optional<std::int64_t> find(std::uint32_t header_class, std::int64_t first_scan) const;

private:
    std::unordered_map<std::uint32_t, std::vector<std::int64_t>> scans_by_class_;
};

} // namespace vombrelle
