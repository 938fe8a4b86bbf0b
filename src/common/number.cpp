#include "common/number.hpp"

namespace vombrelle {

int HostNumber::compare(HostNumber a, HostNumber b) {
    if (a.is_int_ && b.is_int_) return a.i_ < b.i_ ? -1 : (a.i_ > b.i_ ? 1 : 0);
    // A 64-bit integer and a double both convert exactly to long double (64-bit mantissa),
    // so the comparison is exact, as the interpreter's is.
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
    return static_cast<double>(static_cast<long double>(a) / static_cast<long double>(b));
}

} // namespace vombrelle
