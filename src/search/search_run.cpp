#include "search/search_run.hpp"

#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle {

CrossLinkScoreMap find_cross_links(SearchTables& tables, const SearchArguments& args, NamedCalls& calls) {
    return search::SearchRun(tables, args, calls).run();
}

namespace search {

SearchRun::SearchRun(SearchTables& tables, const SearchArguments& args, NamedCalls& calls)
    : tables_(tables), args_(args), calls_(calls), linker_mass_(args.linker_mass.as_double()),
      linker_deficit_(args.linker_deficit.as_double()), ms3_(tables.ms3, classes_), parents_(tables.ms2, classes_),
      four_scans_(tables.psm.ms3, calls) {}

CrossLinkScoreMap SearchRun::run() {
    walk_scan_groups(ms3_, [this](const Ms3ScanGroup& group) {
        // Scans whose block never completed carry no precursor: grouped with one another they
        // would find a parent without one and end the whole search.
        const SpectrumRecord* first = tables_.ms3.find(group.first());
        if (first == nullptr || first->headers.empty()) return false;
        switch (group.size) {
            case GroupSize::Four: return four_scan_group(group);
            case GroupSize::Three: return three_scan_group(group);
            case GroupSize::Two: return two_scan_group(group);
        }
        return false;
    });
    return std::move(result_);
}

std::optional<std::int64_t> SearchRun::parent_and_msn1(const Ms3ScanGroup& group) const {
    const std::optional<std::int64_t> parent = parents_.find(group.header_class, group.first());
    if (!parent) return std::nullopt;
    for (std::size_t i = 0; i < group.count(); ++i) {
        if (!tables_.msn1_ms3.contains(group.scans[i])) return std::nullopt;
    }
    return parent;
}

void SearchRun::measure(std::span<const std::int64_t> scans, std::int64_t parent) {
    masses_.read(tables_.msn1_ms3, scans);
    precursor_ = parent_precursor(*tables_.ms2.find(parent));
    test_pairs(masses_.mh(), precursor_.mh, linker_deficit_, pairs_);
}

bool SearchRun::rescue_mismatch(std::int64_t spec_mode, const std::array<const Ms3MassList*, 4>& lists,
                                const std::array<std::int64_t, 4>& scans, std::int64_t parent) {
    MismatchRescueRequest request;
    request.spec_mode = HostNumber(spec_mode);
    request.mass_lists = lists;
    for (std::size_t i = 0; i < 4; ++i) request.scans[i] = HostNumber(scans[i]);
    request.ms2_scan = HostNumber(parent);
    request.ms2_mass = HostNumber(precursor_.mh);
    request.ms2_charge = HostNumber(precursor_.charge);
    request.linker_mass = args_.linker_mass;
    request.linker_deficit = args_.linker_deficit;
    return search::rescue_mismatch(calls_, request, tables_.psm, result_);
}

bool SearchRun::signature_peaks(std::int64_t parent) const {
    return signature_peaks_found(tables_.ms2.find(parent)->peaks, masses_.mz(), pairs_.matched_masses.size());
}

bool SearchRun::four_scan_group(const Ms3ScanGroup& group) {
    const std::optional<std::int64_t> parent = parent_and_msn1(group);
    if (!parent) return false;
    measure(group.scans, *parent);

    bool precursor_rescued = false;
    if (!pairs_.matched) {
        const bool copied = args_.ms2_rescue &&
                            rescue_mismatch(4, {&masses_.of(0), &masses_.of(1), &masses_.of(2), &masses_.of(3)},
                                            group.scans, *parent);
        const PsmMatchTable& med_high = tables_.psm.ms3.med_high;
        if (!copied && pairs_.within_window &&
            each_side_has_a_scan(med_high, med_high, {group.scans[0], group.scans[1], group.scans[2], group.scans[3]})) {
            // The precursor-mass rescue starts from each scan's first mass: a scan without one
            // leaves nothing to rescue.
            for (std::size_t i = 0; i < 4; ++i) {
                if (masses_.of(i).empty()) return false;
            }
            PrecursorRescueRequest request;
            for (std::size_t i = 0; i < 4; ++i) {
                request.scans[i] = HostNumber(group.scans[i]);
                request.mass_lists[i] = &masses_.of(i);
            }
            request.ms2_match_scan = HostNumber(*parent);
            request.ms2_conv_mass = HostNumber(precursor_.mz);
            request.ms2_mass = HostNumber(precursor_.mh);
            request.ms2_charge = HostNumber(precursor_.charge);
            request.linker_deficit = args_.linker_deficit;
            const PrecursorRescueResult rescued = calls_.rescue_prec_mass(request, tables_.ms1, med_high);
            pairs_.matched = rescued.found;
            if (rescued.found) {
                // The module's own rescue writes two floats; a text that does not read so came
                // from a rescue bound in its place.
                try {
                    const std::vector<std::string_view> parts = split(rescued.derived, ":");
                    precursor_.mz = parse_float(parts[0]);
                    if (parts.size() < 2) throw index_error("list index out of range");
                    precursor_.mh = parse_float(parts[1]);
                } catch (HostError& e) {
                    e.with_context(callee_result_context(call_name(ModuleCall::RescuePrecMass)));
                    throw;
                }
                for (std::size_t i = 0; i < 4; ++i) pairs_.matched_masses.push_back(masses_.of(i)[0]);
                precursor_rescued = true;
            }
        }
    }
    if (!pairs_.matched) return false;

    // A scan none of whose masses took part in a match is cleared: it shows as 0 and has no PSM.
    // After a precursor rescue every scan's first mass took part.
    FourScans scans;
    scans.number = group.scans;
    for (std::size_t i = 0; i < 4 && !precursor_rescued; ++i) {
        bool took_part = false;
        for (const double m : masses_.of(i)) {
            for (const double matched : pairs_.matched_masses) took_part = took_part || m == matched;
        }
        scans.cleared[i] = !took_part;
    }
    if (!signature_peaks(*parent)) return false;

    if (!four_scans_.run(scans, precursor_.mh, linker_mass_)) return false;
    const ArmScanTiers& tiers = four_scans_.tiers();
    const PeptideFields& peptides = tiers.pairs();
    if (!one_stripped_sequence(peptides.a_seq, DistinctBy::CountedHere, calls_, scratch_) ||
        !one_stripped_sequence(peptides.b_seq, DistinctBy::CountedHere, calls_, scratch_)) {
        return false;
    }

    std::array<HostNumber, 4> shown{};
    for (std::size_t i = 0; i < 4; ++i) shown[i] = scans.cleared[i] ? 0 : scans.number[i];
    scan_text_.clear();
    append_scan_text(scan_text_, shown, *parent);
    scratch_.assign(tiers.remarks().begin(), tiers.remarks().end());
    calls_.uniq(scratch_);
    const ClassAndScore scored = class_by_points(tiers.pair_qvals(), kSearchBelowLow);
    letters_.clear();
    for (const std::string_view confidence : tiers.confidences()) append_confidence_letter(letters_, confidence);
    store(record_text({scored.cross_link_class, letters_, scan_text_, precursor_.mh, precursor_.charge, precursor_.mz,
                       peptides, scratch_}),
          scored.score);
    return true;
}

} // namespace search
} // namespace vombrelle
