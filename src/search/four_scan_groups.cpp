#include "search/four_scan_groups.hpp"

#include "common/cross_link_record.hpp"
#include "common/cross_link_scoring.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle::search {

bool FourScanGroups::handle(const Ms3ScanGroup& group) {
    const std::optional<std::int64_t> parent = run_.parent_and_msn1(group);
    if (!parent) return false;
    const SearchRun::Measurement& measured = run_.measure(group.scans, *parent);
    precursor_ = measured.precursor;
    ScanKeys scans;
    std::size_t matched_masses = measured.pairs.matched_masses.size();
    if (measured.pairs.matched) {
        scans = scans_in_matches(group, measured);
    } else {
        if (!rescue_unexplained(group, *parent, measured)) return false;
        // The derived precursor is explained by every scan's first mass: no scan is cleared.
        for (std::size_t i = 0; i < 4; ++i) scans[i] = group.scans[i];
        matched_masses = 4;
    }
    if (!run_.signature_peaks(*parent, matched_masses)) return false;
    if (!look_up_peptides(scans) || !one_peptide_per_side()) return false;
    store_record(group, scans, *parent);
    return true;
}

// A group no pair explains goes to the MS2-search rescue (when it is on); when that copied
// nothing, a group whose miss may be an isotope error goes to the precursor-mass rescue. Returns
// whether the latter derived a precursor, which then stands for the measured one.
bool FourScanGroups::rescue_unexplained(const Ms3ScanGroup& group, std::int64_t parent,
                                        const SearchRun::Measurement& measured) {
    const GroupMasses& masses = measured.masses;
    const bool copied = run_.args().ms2_rescue &&
                        run_.rescue_mismatch(4, {&masses.of(0), &masses.of(1), &masses.of(2), &masses.of(3)},
                                             group.scans, parent);
    const PsmMatchTable& med_high = run_.tables().psm.ms3.med_high;
    if (copied || !measured.pairs.within_window ||
        !each_side_has_a_scan(med_high, med_high, {group.scans[0], group.scans[1], group.scans[2], group.scans[3]})) {
        return false;
    }
    // The precursor-mass rescue starts from each scan's first mass: a scan without one leaves
    // nothing to rescue.
    for (std::size_t i = 0; i < 4; ++i) {
        if (masses.of(i).empty()) return false;
    }
    PrecursorRescueRequest request;
    for (std::size_t i = 0; i < 4; ++i) {
        request.scans[i] = HostNumber(group.scans[i]);
        request.mass_lists[i] = &masses.of(i);
    }
    request.ms2_match_scan = HostNumber(parent);
    request.ms2_conv_mass = HostNumber(precursor_.mz);
    request.ms2_mass = HostNumber(precursor_.mh);
    request.ms2_charge = HostNumber(precursor_.charge);
    request.linker_deficit = run_.args().linker_deficit;
    const PrecursorRescueResult rescued = run_.calls().rescue_prec_mass(request, run_.tables().ms1, med_high);
    if (!rescued.found) return false;
    adopt_derived_precursor(rescued.derived);
    return true;
}

void FourScanGroups::adopt_derived_precursor(std::string_view derived) {
    // The module's own rescue writes two floats; a text that does not read so came from a rescue
    // bound in its place.
    try {
        const std::vector<std::string_view> parts = split(derived, ":");
        precursor_.mz = parse_float(parts[0]);
        if (parts.size() < 2) throw index_error("list index out of range");
        precursor_.mh = parse_float(parts[1]);
    } catch (HostError& e) {
        e.with_context(callee_result_context(call_name(ModuleCall::RescuePrecMass)));
        throw;
    }
}

// A scan none of whose masses took part in a match is cleared: it shows as 0 and has no PSM.
FourScanGroups::ScanKeys FourScanGroups::scans_in_matches(const Ms3ScanGroup& group,
                                                          const SearchRun::Measurement& measured) {
    ScanKeys scans;
    for (std::size_t i = 0; i < 4; ++i) {
        bool took_part = false;
        for (const double m : measured.masses.of(i)) {
            for (const double matched : measured.pairs.matched_masses) took_part = took_part || m == matched;
        }
        if (took_part) scans[i] = group.scans[i];
    }
    return scans;
}

// The tiers on the MS3 search's tables, both sides from one table: High, then High and Medium,
// each only while no earlier one accepted a pair. A pair accepted only among all confidences
// yields no record: that tier runs for the entries its reads insert and the uniq calls it makes.
bool FourScanGroups::look_up_peptides(const ScanKeys& scans) {
    PsmTables& t = run_.tables().psm.ms3;
    const double mh = precursor_.mh, linker_mass = run_.linker_mass();
    NamedCalls& calls = run_.calls();
    tiers_.start(scans);
    if (tiers_.run_tier(t.high, t.high, kSearchTier, mh, linker_mass, calls) ||
        tiers_.run_tier(t.med_high, t.med_high, kSearchTier, mh, linker_mass, calls)) {
        return true;
    }
    tiers_.run_tier(t.all, t.all, kSearchAllTier, mh, linker_mass, calls);
    return false;
}

// Counted here, not through uniq: cross_link_search.hpp says why.
bool FourScanGroups::one_peptide_per_side() {
    const PeptideFields& peptides = tiers_.pairs();
    return one_stripped_sequence(peptides.a_seq, DistinctBy::CountedHere, run_.calls(), scratch_) &&
           one_stripped_sequence(peptides.b_seq, DistinctBy::CountedHere, run_.calls(), scratch_);
}

// The scans as the grouping found them, a cleared one shown as 0.
void FourScanGroups::store_record(const Ms3ScanGroup& group, const ScanKeys& scans, std::int64_t parent) {
    std::array<HostNumber, 4> shown{};
    for (std::size_t i = 0; i < 4; ++i) shown[i] = scans[i] ? group.scans[i] : 0;
    scan_text_.clear();
    append_scan_text(scan_text_, shown, parent);
    scratch_.assign(tiers_.remarks().begin(), tiers_.remarks().end());
    run_.calls().uniq(scratch_);
    const ClassAndScore scored = class_by_points(tiers_.pair_qvals(), kSearchBelowLow);
    letters_.clear();
    for (const std::string_view confidence : tiers_.confidences()) append_confidence_letter(letters_, confidence);
    run_.store(record_text({scored.cross_link_class, letters_, scan_text_, precursor_.mh, precursor_.charge,
                            precursor_.mz, tiers_.pairs(), scratch_}),
               scored.score);
}

} // namespace vombrelle::search
