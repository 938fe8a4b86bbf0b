#include "common/cross_link_scoring.hpp"

namespace vombrelle {

using namespace cross_link_class;

namespace {

const HostNumber kHighQ = kHighQval;
const HostNumber kMediumQ = kMediumQval;

// The better of two q-values: the second only when it is greater.
HostNumber better(HostNumber first, HostNumber second) { return second > first ? second : first; }

// Multiplier of the triplet and pair scores from each peptide's q-value: both above a band for the
// top two, either one for the next two; 1 when no rule applies.
std::int64_t multiplier(HostNumber best_a, HostNumber best_b) {
    const bool a_high = best_a > kHighQ, b_high = best_b > kHighQ;
    const bool a_med = best_a > kMediumQ, b_med = best_b > kMediumQ;
    if (a_high && b_high) return 20;
    if (a_med && b_med) return 10;
    if (a_high || b_high) return 8;
    if (a_med || b_med) return 4;
    return 1;
}

bool any_above(std::span<const HostNumber> qvals, const HostNumber& bound) {
    for (const HostNumber q : qvals) {
        if (q > bound) return true;
    }
    return false;
}

} // namespace

QvalBand qval_band(HostNumber q) {
    if (q > kHighQ) return QvalBand::High;
    if (q > kMediumQ && q <= kHighQ) return QvalBand::Medium;
    if (q > HostNumber(0) && q <= kMediumQ) return QvalBand::Low;
    return QvalBand::None;
}

int peptide_points(std::span<const HostNumber> qvals) {
    int points = 0;
    for (const HostNumber q : qvals) {
        switch (qval_band(q)) {
            case QvalBand::High: points += 18; break;
            case QvalBand::Medium: points += 8; break;
            case QvalBand::Low: points += 3; break;
            case QvalBand::None: break;
        }
    }
    return points;
}

ClassAndScore class_by_points(const std::array<HostNumber, 4>& q, BelowLow below) {
    // sum() of each peptide's list starts from the integer 0.
    const HostNumber sum = (HostNumber(0) + q[0] + q[1]) + (HostNumber(0) + q[2] + q[3]);
    const int a = peptide_points(std::span(q).first(2)), b = peptide_points(std::span(q).last(2));
    const bool one_high = a >= 18 || b >= 18;
    if (a >= 18 && b >= 18) return {kHigh, sum * HostNumber(20)};
    if (a >= 8 && b >= 8) return {kMedium, sum * HostNumber(one_high ? 10 : 8)};
    if (a >= 6 && b >= 6) {
        if (one_high) return {kLow, sum * HostNumber(4)};
        if (a >= 8 || b >= 8) return {kLow, sum * HostNumber(2)};
        return {kLow, sum};
    }
    return {below.cross_link_class, below.keeps_sum ? sum : HostNumber(0)};
}

std::string_view class_by_bands(std::span<const HostNumber> a_qvals, std::span<const HostNumber> b_qvals) {
    if (any_above(a_qvals, kHighQ) && any_above(b_qvals, kHighQ)) return kHigh;
    if (any_above(a_qvals, kMediumQ) && any_above(b_qvals, kMediumQ)) return kMedium;
    return kLow;
}

bool class_stores(std::string_view cross_link_class) { return cross_link_class == kHigh || cross_link_class == kMedium; }

HostNumber triplet_score(HostNumber a1, HostNumber a2, HostNumber b1, HostNumber b2) {
    const HostNumber sum = a1 + a2 + b1 + b2;
    const std::int64_t m = multiplier(better(a1, a2), better(b1, b2));
    return m == 1 ? sum : sum * HostNumber(m);
}

HostNumber pair_score(HostNumber a, HostNumber b, bool same_sequences) {
    const HostNumber sum = a + b;
    const std::int64_t m = multiplier(a, b);
    const HostNumber score = m == 1 ? sum : sum * HostNumber(m);
    return same_sequences ? score * HostNumber(2) : score;
}

} // namespace vombrelle
