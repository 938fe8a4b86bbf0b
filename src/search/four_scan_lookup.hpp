// The peptide lookup of a four-scan group: scans a1 and a2 are peptide A's two arm forms, b1 and
// b2 peptide B's. The MS3 search's tables are tried from the strictest to the most permissive
// (High; High and Medium; all confidences), each tier only when no earlier one accepted a pairing,
// with the tier machinery of common/arm_scan_tiers.hpp; each tier reads both sides from its one
// table. A scan none of whose masses took part in a match is cleared: it has no PSM and is never
// read. A pairing accepted only in the all-confidence tier yields no record: that tier is run for
// the entries its reads insert and the uniq calls it makes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/arm_scan_tiers.hpp"
#include "common/named_calls.hpp"
#include "common/psm.hpp"

namespace vombrelle::search {

// A group's scans in the order a1, a2, b1, b2. A cleared scan had no mass in a match.
struct FourScans {
    std::array<std::int64_t, 4> number{};
    std::array<bool, 4> cleared{};
};

class FourScanLookup {
public:
    FourScanLookup(PsmTables& ms3_tables, NamedCalls& calls) : tables_(ms3_tables), calls_(calls) {}

    // Runs the tiers for one group. True when the High or the High and Medium tier accepted a
    // pairing; tiers() then describes it.
    bool run(const FourScans& scans, double precursor_mh, double linker_mass);

    const ArmScanTiers& tiers() const { return tiers_; }

private:
    PsmTables& tables_;
    NamedCalls& calls_;
    ArmScanTiers tiers_;
};

} // namespace vombrelle::search
