#include "common/number.hpp"

namespace vombrelle {

int HostNumber::compare(HostNumber a, HostNumber b) {
    if (a.is_int_ && b.is_int_) return a.i_ < b.i_ ? -1 : (a.i_ > b.i_ ? 1 : 0);
    // A 64-bit integer and a double both convert exactly to long double (at least a 64-bit
    // mantissa), so the comparison is exact, as the interpreter's is.
    long double x = a.is_int_ ? static_cast<long double>(a.i_) : static_cast<long double>(a.d_);
    long double y = b.is_int_ ? static_cast<long double>(b.i_) : static_cast<long double>(b.d_);
    return x < y ? -1 : (x > y ? 1 : 0);
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
