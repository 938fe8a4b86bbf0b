#include "ms2_rescue/rescue_dispatch.hpp"

namespace vombrelle {

std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& r, SearchPsmTables& tables,
                                                      NamedCalls& calls) {
    CrossLinkScoreMap results;
    auto build = [&](HostNumber a1, HostNumber a2, HostNumber b1, HostNumber b2) {
        RescueBuilderResult built =
            calls.find_xls_ms2_rescue({{a1, a2, b1, b2}, r.ms2_scan, r.ms2_mass, r.ms2_charge, r.linker_mass}, tables);
        results.insert_or_assign(std::move(built.record), built.score);
    };
    const auto& [a1, a2, b1, b2] = r.scans;
    if (r.spec_mode == HostNumber(4)) {
        build(a1, a2, b1, b2);
        build(b1, b2, a1, a2);
    } else if (r.spec_mode == HostNumber(2)) {
        build(a1, a2, b1, b2);
    } else if (r.spec_mode == HostNumber(3)) {
        const HostNumber shift(1000000);
        build(a1, a2, b1 + shift, b2 + shift);
        build(b1, b2, a1 + shift, a2 + shift);
    } else {
        return std::nullopt;
    }
    return results;
}

} // namespace vombrelle
