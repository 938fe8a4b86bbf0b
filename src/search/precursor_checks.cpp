#include "search/precursor_checks.hpp"

#include <algorithm>
#include <cmath>

#include "common/cross_link_mass.hpp"
#include "common/errors.hpp"

namespace vombrelle::search {

Precursor parent_precursor(const SpectrumRecord& parent) {
    // A record without keys reads "header" as the empty text, which has no element 0 either.
    if (parent.headers.empty()) {
        throw index_error(parent.has_keys() ? "list index out of range" : "string index out of range");
    }
    return parse_precursor(parent.headers[0], PrecursorReading::MzFirst);
}

void GroupMasses::read(const SpectrumTable& msn1, std::span<const std::int64_t> scans) {
    per_scan_.resize(scans.size());
    mh_.clear();
    mz_.clear();
    for (std::size_t i = 0; i < scans.size(); ++i) {
        Ms3MassList& own = per_scan_[i];
        own.clear();
        for (const std::string& entry : msn1.find(scans[i])->headers) {
            const Precursor p = parse_precursor(entry, PrecursorReading::MzFirst);
            mz_.push_back(p.mz);
            mh_.push_back(p.mh);
            own.push_back(p.mh);
        }
    }
}

void test_pairs(const std::vector<double>& mh, double precursor_mh, double linker_deficit, PairTest& out) {
    out.matched = false;
    out.within_window = false;
    out.matched_masses.clear();
    for (std::size_t i = 0; i < mh.size(); ++i) {
        for (std::size_t j = i + 1; j < mh.size(); ++j) {
            const double d = pair_miss(precursor_mh, mh[i], mh[j], linker_deficit);
            if (kPairTolerance.contains(std::fabs(d), precursor_mh)) {
                out.matched = true;
                out.matched_masses.push_back(mh[i]);
                out.matched_masses.push_back(mh[j]);
            }
            if (kIsotopeWindow.contains(d)) out.within_window = true;
        }
    }
}

bool signature_peaks_found(const std::vector<Peak>& parent_peaks, const std::vector<double>& ms3_mz,
                           std::size_t needed) {
    // 20 ppm of a positive peak m/z lies far inside 1e-4 (100 ppm) of the m/z it matches: a peak outside
    // that margin around every MS3 m/z matches none, and most peaks are ruled out by two
    // comparisons before the exact quotients decide. (A peak at 0 or below, or NaN, takes the
    // exact test: below 0 the quotient is negative and matches.)
    static_assert(kPairTolerance.value() < 100.0, "the margin must hold every peak within tolerance");
    double low = INFINITY, high = -INFINITY;
    for (const double m : ms3_mz) {
        if (!(m > 0.0) || std::isinf(m)) continue;  // no positive peak is within 20 ppm of these
        low = std::min(low, m * (1.0 - 1e-4));
        high = std::max(high, m * (1.0 + 1e-4));
    }
    std::size_t count = 0;
    for (const Peak& peak : parent_peaks) {
        if (count >= needed) return true;
        const double f = peak.mz;
        if (f > 0.0 && (f < low || f > high)) continue;
        for (const double m : ms3_mz) {
            if (kPairTolerance.contains(std::fabs(f - m), f)) ++count;
        }
    }
    return count >= needed;
}

bool rescue_mismatch(NamedCalls& calls, const MismatchRescueRequest& request, SearchPsmTables& tables,
                     CrossLinkScoreMap& result) {
    const std::optional<CrossLinkScoreMap> rescued = calls.rescue_prec_mismatch(request, tables);
    // Only a dispatcher bound in place of the module's returns no map for the search's modes.
    if (!rescued) {
        throw std::move(type_error("'NoneType' object is not iterable")
                            .with_context(callee_result_context(call_name(ModuleCall::RescuePrecMismatch))));
    }
    bool copied = false;
    for (const auto& [record, score] : *rescued) {
        if (record.empty()) continue;
        result.insert_or_assign(record, score);
        copied = true;
    }
    return copied;
}

} // namespace vombrelle::search
