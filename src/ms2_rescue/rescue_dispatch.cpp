#include "ms2_rescue/rescue_dispatch.hpp"

#include "common/errors.hpp"
#include "common/rescue_scan_labels.hpp"

namespace vombrelle {

namespace {

constexpr std::int64_t kModes[] = {4, 2, 3};
constexpr BuilderCall kFourScan[] = {{{0, 1, 2, 3}, false}, {{2, 3, 0, 1}, false}};
constexpr BuilderCall kTwoScan[] = {{{0, 1, 2, 3}, false}};
constexpr BuilderCall kThreeScan[] = {{{0, 1, 2, 3}, true}, {{2, 3, 0, 1}, true}};

} // namespace

std::span<const std::int64_t> spec_modes() { return kModes; }

std::span<const BuilderCall> builder_calls(HostNumber spec_mode) {
    if (spec_mode == HostNumber(kModes[0])) return kFourScan;
    if (spec_mode == HostNumber(kModes[1])) return kTwoScan;
    if (spec_mode == HostNumber(kModes[2])) return kThreeScan;
    return {};
}

std::array<HostNumber, 4> builder_scans(const std::array<HostNumber, 4>& scans, const BuilderCall& call) {
    std::array<HostNumber, 4> out;
    for (std::size_t i = 0; i < 4; ++i) out[i] = scans[call.positions[i]];
    if (call.shifted) {
        out[2] = three_scan_rescue_scan(out[2]);
        out[3] = three_scan_rescue_scan(out[3]);
    }
    return out;
}

PsmReads dispatcher_reads(const MismatchRescueRequest& r) {
    PsmReads reads;
    for (const BuilderCall& call : builder_calls(r.spec_mode)) {
        try {
            add_builder_reads(builder_scans(r.scans, call), reads);
        } catch (const HostError&) {
            break;  // the dispatcher fails there, before this call reads anything
        }
    }
    return reads;
}

std::optional<CrossLinkScoreMap> rescue_prec_mismatch(const MismatchRescueRequest& r, SearchPsmTables& tables,
                                                      NamedCalls& calls) {
    const std::span<const BuilderCall> made = builder_calls(r.spec_mode);
    if (made.empty()) return std::nullopt;
    CrossLinkScoreMap results;
    for (const BuilderCall& call : made) {
        RescueBuilderResult built = calls.find_xls_ms2_rescue(
            {builder_scans(r.scans, call), r.ms2_scan, r.ms2_mass, r.ms2_charge, r.linker_mass}, tables);
        results.insert_or_assign(std::move(built.record), built.score);
    }
    return results;
}

} // namespace vombrelle
