#include "common/number.hpp"

namespace vombrelle {

namespace {

// Exact comparison of an integer with a (non-NaN) double, without rounding either.
int compare_int_double(std::int64_t i, double d) {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::isnan(d)) return 0;  // unordered: the operators answer for NaN themselves
    if (d >= kTwo63) return -1;
    if (d < -kTwo63) return 1;
    const double whole = std::trunc(d);  // now fits 64 bits exactly
    const auto w = static_cast<std::int64_t>(whole);
    if (i != w) return i < w ? -1 : 1;
    const double fraction = d - whole;
    return fraction > 0 ? -1 : (fraction < 0 ? 1 : 0);
}

} // namespace

int HostNumber::compare(HostNumber a, HostNumber b) {
    if (a.is_int_ && b.is_int_) return a.i_ < b.i_ ? -1 : (a.i_ > b.i_ ? 1 : 0);
    if (a.is_int_) return compare_int_double(a.i_, b.d_);
    if (b.is_int_) return -compare_int_double(b.i_, a.d_);
    return a.d_ < b.d_ ? -1 : (a.d_ > b.d_ ? 1 : 0);
}

double HostNumber::exact_int_division(std::int64_t a, std::int64_t b) {
    constexpr std::int64_t kExact = std::int64_t{1} << 53;
    if (a > -kExact && a < kExact && b > -kExact && b < kExact) {
        // Both operands are exact doubles: one IEEE division is correctly rounded.
        return static_cast<double>(a) / static_cast<double>(b);
    }
    // The interpreter rounds the exact quotient once. Dividing in long double and then
    // narrowing would round twice, so take a quotient of at least 63 bits plus a sticky bit
    // in 128-bit integers and round that to 53 bits, ties to even.
    const bool negative = (a < 0) != (b < 0);
    const unsigned __int128 ua = a < 0 ? 0 - static_cast<std::uint64_t>(a) : static_cast<std::uint64_t>(a);
    const unsigned __int128 ub = b < 0 ? 0 - static_cast<std::uint64_t>(b) : static_cast<std::uint64_t>(b);
    if (ua == 0) return negative ? -0.0 : 0.0;
    const int shift = 63 + __builtin_clzll(static_cast<std::uint64_t>(ua));  // ua << shift < 2^127
    const unsigned __int128 num = ua << shift;
    unsigned __int128 q = num / ub;
    bool sticky = num % ub != 0;
    const int bits = 128 - (static_cast<std::uint64_t>(q >> 64) != 0
                                ? __builtin_clzll(static_cast<std::uint64_t>(q >> 64))
                                : 64 + __builtin_clzll(static_cast<std::uint64_t>(q)));
    const int drop = bits - 54;  // keep 53 bits and the rounding bit
    sticky = sticky || (q & ((static_cast<unsigned __int128>(1) << drop) - 1)) != 0;
    const auto kept = static_cast<std::uint64_t>(q >> drop);
    std::uint64_t mantissa = kept >> 1;
    if ((kept & 1) != 0 && (sticky || (mantissa & 1) != 0)) ++mantissa;
    const double magnitude = std::ldexp(static_cast<double>(mantissa), drop + 1 - shift);
    return negative ? -magnitude : magnitude;
}

} // namespace vombrelle
