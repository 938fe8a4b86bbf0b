#include "ms2_rescue/rescued_xl_builder.hpp"

#include "common/arm_scan_tiers.hpp"
#include "common/cross_link_record.hpp"
#include "common/cross_link_scoring.hpp"
#include "common/mass_constants.hpp"
#include "common/rescue_scan_labels.hpp"
#include "common/scan_key.hpp"

namespace vombrelle {

void add_builder_reads(const std::array<HostNumber, 4>& scans, PsmReads& reads) {
    for (std::size_t i = kA1; i <= kB2; ++i) {
        if (const std::optional<std::int64_t> key = scan_key(scans[i])) (i <= kA2 ? reads.ms3 : reads.rescue).push_back(*key);
    }
}

RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& tables, NamedCalls& calls) {
    ArmScanTiers tiers;
    tiers.start({scan_key(r.scans[kA1]), scan_key(r.scans[kA2]), scan_key(r.scans[kB1]), scan_key(r.scans[kB2])});
    // The host's numbers meet floats in the pair test (the MH+ of "pep_mass", the proton), so the
    // sums are the doubles' sums.
    const double mh = r.ms2_mass.as_double(), linker_mass = r.linker_mass.as_double();
    const bool matched = tiers.run_tier(tables.ms3.high, tables.rescue.high, kRescueTier, mh, linker_mass, calls) ||
                         tiers.run_tier(tables.ms3.med_high, tables.rescue.med_high, kRescueTier, mh, linker_mass, calls);
    // The matched sequences must name one peptide on each side, surrounding white space aside.
    const PeptideFields& pairs = tiers.pairs();
    std::vector<std::string_view> scratch;
    if (!matched || !one_stripped_sequence(pairs.a_seq, DistinctBy::UniqByName, calls, scratch) ||
        !one_stripped_sequence(pairs.b_seq, DistinctBy::UniqByName, calls, scratch)) {
        return {"", HostNumber(0)};
    }

    std::vector<std::string_view> remarks(tiers.remarks().begin(), tiers.remarks().end());
    remarks.push_back("MS2_Rescued_XL");
    calls.uniq(remarks);
    const ClassAndScore scored = class_by_points(tiers.pair_qvals(), kRescueBelowLow);
    const HostNumber ms2_mz = mz_from_mh(r.ms2_mass, r.ms2_charge);

    std::string letters;
    for (const std::string_view confidence : tiers.confidences()) append_confidence_letter(letters, confidence);
    const std::array<HostNumber, 4> shown{r.scans[kA1], r.scans[kA2], rescued_record_scan(r.scans[kB1]),
                                          rescued_record_scan(r.scans[kB2])};
    std::string scans;
    append_scan_text(scans, shown, r.ms2_scan);
    return {record_text({scored.cross_link_class, letters, scans, r.ms2_mass, r.ms2_charge, ms2_mz, pairs, remarks}),
            scored.score};
}

} // namespace vombrelle
