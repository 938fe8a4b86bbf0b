#include "search/search_run.hpp"

namespace vombrelle::search {

SearchRun::SearchRun(SearchTables& tables, const SearchArguments& args, NamedCalls& calls)
    : tables_(tables), args_(args), calls_(calls), linker_mass_(args.linker_mass.as_double()),
      linker_deficit_(args.linker_deficit.as_double()), ms3_(tables.ms3, classes_), parents_(tables.ms2, classes_) {}

CrossLinkScoreMap SearchRun::walk(const GroupHandler& road) {
    walk_scan_groups(ms3_, [&](const Ms3ScanGroup& group) {
        // Scans whose block never completed carry no precursor: grouped with one another they
        // would find a parent without one and end the whole search.
        const SpectrumRecord* first = tables_.ms3.find(group.first());
        if (first == nullptr || first->headers.empty()) return false;
        return road(group);
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

const SearchRun::Measurement& SearchRun::measure(std::span<const std::int64_t> scans, std::int64_t parent) {
    measured_.masses.read(tables_.msn1_ms3, scans);
    measured_.precursor = parent_precursor(*tables_.ms2.find(parent));
    test_pairs(measured_.masses.mh(), measured_.precursor.mh, linker_deficit_, measured_.pairs);
    return measured_;
}

bool SearchRun::rescue_mismatch(std::int64_t spec_mode, const std::array<const Ms3MassList*, 4>& lists,
                                const std::array<std::int64_t, 4>& scans, std::int64_t parent) {
    MismatchRescueRequest request;
    request.spec_mode = HostNumber(spec_mode);
    request.mass_lists = lists;
    for (std::size_t i = 0; i < 4; ++i) request.scans[i] = HostNumber(scans[i]);
    request.ms2_scan = HostNumber(parent);
    request.ms2_mass = HostNumber(measured_.precursor.mh);
    request.ms2_charge = HostNumber(measured_.precursor.charge);
    request.linker_mass = args_.linker_mass;
    request.linker_deficit = args_.linker_deficit;
    return search::rescue_mismatch(calls_, request, tables_.psm, result_);
}

bool SearchRun::signature_peaks(std::int64_t parent, std::size_t needed) const {
    return signature_peaks_found(tables_.ms2.find(parent)->peaks, measured_.masses.mz(), needed);
}

} // namespace vombrelle::search
