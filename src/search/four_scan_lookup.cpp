#include "search/four_scan_lookup.hpp"

namespace vombrelle::search {

bool FourScanLookup::run(const FourScans& scans, double precursor_mh, double linker_mass) {
    std::array<std::optional<std::int64_t>, 4> keys;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!scans.cleared[i]) keys[i] = scans.number[i];
    }
    tiers_.start(keys);
    if (tiers_.run_tier(tables_.high, tables_.high, kSearchTier, precursor_mh, linker_mass, calls_) ||
        tiers_.run_tier(tables_.med_high, tables_.med_high, kSearchTier, precursor_mh, linker_mass, calls_)) {
        return true;
    }
    tiers_.run_tier(tables_.all, tables_.all, kSearchAllTier, precursor_mh, linker_mass, calls_);
    return false;
}

} // namespace vombrelle::search
