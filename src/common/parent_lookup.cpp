#include "common/parent_lookup.hpp"

#include <algorithm>

namespace vombrelle {

ParentLookup::ParentLookup(const SpectrumTable& ms2, const HeaderClasses& classes) {
    for (const auto& [scan, record] : ms2) {
        if (scan < 0) continue;  // the walk stops at scan 0
        const std::uint32_t cls = classes.find(record);
        if (cls == HeaderClasses::kUnseen) continue;
        scans_by_class_[cls].push_back(scan);
    }
    for (auto& [cls, scans] : scans_by_class_) std::sort(scans.begin(), scans.end());
}

std::optional<std::int64_t> ParentLookup::find(std::uint32_t header_class, std::int64_t first_scan) const {
    auto it = scans_by_class_.find(header_class);
    if (it == scans_by_class_.end()) return std::nullopt;
    const std::vector<std::int64_t>& scans = it->second;
    auto below = std::lower_bound(scans.begin(), scans.end(), first_scan);
    if (below == scans.begin()) return std::nullopt;
    return *(below - 1);
}

} // namespace vombrelle
