#include "ms2_rescue/rescued_xl_builder.hpp"

#include "common/cross_link_record.hpp"
#include "common/cross_link_scoring.hpp"
#include "common/mass_constants.hpp"
#include "common/rescue_scan_labels.hpp"
#include "common/scan_key.hpp"
#include "ms2_rescue/rescue_tier.hpp"

namespace vombrelle {

namespace {

using namespace ms2_rescue;

} // namespace

void add_builder_reads(const std::array<HostNumber, 4>& scans, PsmReads& reads) {
    for (std::size_t i = kA1; i <= kB2; ++i) {
        if (const std::optional<std::int64_t> key = scan_key(scans[i])) (i <= kA2 ? reads.ms3 : reads.rescue).push_back(*key);
    }
}

RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& tables, NamedCalls& calls) {
    RescueCallState state;
    for (std::size_t i = kA1; i <= kB2; ++i) state.keys[i] = scan_key(r.scans[i]);
    PeptideFields pairs;
    run_rescue_tier(r, tables.ms3.high, tables.rescue.high, state, pairs, calls);
    if (!state.matched) run_rescue_tier(r, tables.ms3.med_high, tables.rescue.med_high, state, pairs, calls);
    // The matched sequences must name one peptide on each side, surrounding white space aside.
    std::vector<std::string_view> scratch;
    if (!state.matched || !one_stripped_sequence(pairs.a_seq, DistinctBy::UniqByName, calls, scratch) ||
        !one_stripped_sequence(pairs.b_seq, DistinctBy::UniqByName, calls, scratch)) {
        return {"", HostNumber(0)};
    }

    state.remarks.push_back("MS2_Rescued_XL");
    calls.uniq(state.remarks);
    const ClassAndScore scored = class_by_points(state.pair_qvals, kRescueBelowLow);
    const HostNumber ms2_mz = mz_from_mh(r.ms2_mass, r.ms2_charge);

    std::string letters;
    for (const ArmScanState& scan : state.scans) append_confidence_letter(letters, scan.confidence);
    const std::array<HostNumber, 4> shown{r.scans[kA1], r.scans[kA2], rescued_record_scan(r.scans[kB1]),
                                          rescued_record_scan(r.scans[kB2])};
    std::string scans;
    append_scan_text(scans, shown, r.ms2_scan);
    return {record_text({scored.cross_link_class, letters, scans, r.ms2_mass, r.ms2_charge, ms2_mz, pairs, state.remarks}),
            scored.score};
}

} // namespace vombrelle
