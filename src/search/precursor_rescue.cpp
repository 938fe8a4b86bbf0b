#include "search/precursor_rescue.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/cross_link_mass.hpp"
#include "common/mass_constants.hpp"
#include "common/scan_key.hpp"
#include "common/tolerance.hpp"

namespace vombrelle {

namespace {

// Isotope errors the rescue repairs (Da), either sign.
constexpr double kDaltonErrors[] = {1.0, 2.0, 3.0, 4.0, 5.0};

double first_mass(const Ms3MassList* list) {
    if (list->empty()) throw index_error("list index out of range");
    return list->front();
}

// The precursor error of one pairing of arm masses, rounded to one decimal (Da). The fragments' sum is a
// float, so the host's numbers join it as doubles.
double pairing_error(const PrecursorRescueRequest& r, double short_mass, double long_mass) {
    return round_to(pair_miss(r.ms2_mass.as_double(), short_mass, long_mass, r.linker_deficit.as_double()), 1);
}

bool whole_dalton_error(double error) {
    for (double d : kDaltonErrors) {
        if (error == d || error * -1 == d) return true;
    }
    return false;
}

// `mz in peaks`: exact equality, as a map keyed by the parsed m/z finds it.
bool has_peak(const SpectrumRecord& record, HostNumber mz) {
    for (const Peak& p : record.peaks) {
        if (HostNumber(p.mz) == mz) return true;
    }
    return false;
}

} // namespace

void Ms1ScansBelow::walk_down(const Ms1ScanIndex& index) {
    const std::span<const std::int64_t> below = index.scans_from_zero_below(parent_);
    for (auto it = below.rbegin(); it != below.rend() && !full(); ++it) offer(*it);
}

void Ms1ScansBelow::offer(std::int64_t scan) {
    if (scan < 0 || scan >= parent_) return;
    nearest_.insert(std::find_if(nearest_.begin(), nearest_.end(), [&](std::int64_t s) { return s < scan; }), scan);
    if (nearest_.size() > kMs1ScansExamined) nearest_.pop_back();
}

Ms1ScanIndex::Ms1ScanIndex(const SpectrumTable& ms1) {
    sorted_.reserve(ms1.size());
    for (const auto& [scan, record] : ms1) sorted_.push_back(scan);
    // The DTA reader already stores its scans in ascending order.
    if (!std::is_sorted(sorted_.begin(), sorted_.end())) std::sort(sorted_.begin(), sorted_.end());
}

std::span<const std::int64_t> Ms1ScanIndex::scans_from_zero_below(std::int64_t below) const {
    if (below <= 0) return {};
    return {std::lower_bound(sorted_.begin(), sorted_.end(), 0), std::lower_bound(sorted_.begin(), sorted_.end(), below)};
}

std::int64_t walk_parent(HostNumber parent) {
    // What range() says of a float: it has no __index__.
    if (!parent.is_int()) throw type_error("'float' object cannot be interpreted as an integer");
    return parent.as_int();
}

std::optional<double> isotope_error(const PrecursorRescueRequest& r) {
    const double a1 = first_mass(r.mass_lists[0]);
    const double a2 = first_mass(r.mass_lists[1]);
    const double b1 = first_mass(r.mass_lists[2]);
    const double b2 = first_mass(r.mass_lists[3]);
    const double a_short = std::min(a1, a2), a_long = std::max(a1, a2);
    const double b_short = std::min(b1, b2), b_long = std::max(b1, b2);

    // Both pairings must miss by the same whole number of daltons.
    const double error = pairing_error(r, a_short, b_long);
    if (!(error == pairing_error(r, a_long, b_short) && whole_dalton_error(error))) return std::nullopt;
    return error;
}

PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& r, const SpectrumTable& ms1,
                                       const Ms1ScanIndex& index, const PsmMatchTable& med_high) {
    const std::optional<double> isotope = isotope_error(r);
    if (!isotope) return {};
    const double error = *isotope;

    // The nearest MS1 scan below the parent that holds the measured precursor m/z, among the five
    // nearest present ones.
    Ms1ScansBelow nearest(walk_parent(r.ms2_match_scan));
    nearest.walk_down(index);
    const SpectrumRecord* ms1_match = nullptr;
    for (const std::int64_t scan : nearest.nearest_first()) {
        const SpectrumRecord& record = *ms1.find(scan);
        if (has_peak(record, r.ms2_conv_mass)) {
            ms1_match = &record;
            break;
        }
    }
    if (ms1_match == nullptr) return {};

    // Where the monoisotopic precursor should be: the error moved by the charge, the shift rounded.
    const HostNumber shift = (HostNumber(error) * HostNumber(-1)) / r.ms2_charge;
    const HostNumber expected = r.ms2_conv_mass + HostNumber(round_to(shift.as_double(), 5));

    // The first peak within tolerance, not the closest.
    std::optional<double> located_mz;
    HostNumber located_mh;
    for (const Peak& p : ms1_match->peaks) {
        // A peak at 0 has no relative error: it simply does not match.
        const double iso_diff = p.mz - expected.as_double();
        if (kIsotopePeakTolerance.contains(std::fabs(iso_diff), p.mz)) {
            located_mz = p.mz;
            located_mh = mh_from_mz(HostNumber(p.mz), r.ms2_charge);
            break;
        }
    }

    if (!each_side_has_a_scan(med_high, med_high,
                              {scan_key(r.scans[0]), scan_key(r.scans[1]), scan_key(r.scans[2]), scan_key(r.scans[3])})) {
        return {};
    }

    PrecursorRescueResult out;
    out.found = true;
    if (located_mz) {
        append_float_repr(out.derived, *located_mz);
        out.derived += ':';
        located_mh.append_text(out.derived);
        out.remarks = "Derived_MS2mass_located";
    } else {
        expected.append_text(out.derived);
        out.derived += ':';
        mh_from_mz(expected, r.ms2_charge).append_text(out.derived);
        out.remarks = "Derived_MS2mass_not_located";
    }
    // `error` is never 0 here.
    out.remarks += error > 0 ? ";Upstream search: " : ";Downstream search: ";
    append_float_repr(out.remarks, round_to(error, 1));
    return out;
}

} // namespace vombrelle
