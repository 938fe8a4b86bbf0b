// A number as the interpreter holds it: an exact integer or a double, with the interpreter's
// arithmetic (int op int stays int except true division; int op float is a float). Scores are
// HostNumbers so that a score the algorithm leaves at the integer 0 is written "0", not "0.0".
// A bool is an int that writes itself "True" or "False"; arithmetic on it gives a plain int, as
// True + 1 is 2.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle {

class HostNumber {
public:
    constexpr HostNumber() = default;
    constexpr HostNumber(std::int64_t i) : is_int_(true), i_(i) {}       // NOLINT: implicit by design
    constexpr HostNumber(int i) : is_int_(true), i_(i) {}                // NOLINT
    constexpr HostNumber(double d) : is_int_(false), d_(d) {}            // NOLINT
    static constexpr HostNumber boolean(bool b) {
        HostNumber n(std::int64_t{b});
        n.is_bool_ = true;
        return n;
    }

    bool is_int() const { return is_int_; }  // true for a bool too
    bool is_bool() const { return is_bool_; }
    std::int64_t as_int() const { return i_; }
    // float(n): the value as a double (an int converts exactly when it can).
    double as_double() const { return is_int_ ? static_cast<double>(i_) : d_; }

    // str(n)
    std::string to_text() const {
        std::string s;
        append_text(s);
        return s;
    }
    void append_text(std::string& out) const {
        if (is_bool_) out += i_ != 0 ? "True" : "False";
        else if (is_int_) append_int(out, i_);
        else append_float_repr(out, d_);
    }

    friend HostNumber operator+(HostNumber a, HostNumber b) {
        if (a.is_int_ && b.is_int_) return HostNumber(checked_add(a.i_, b.i_));
        return HostNumber(a.as_double() + b.as_double());
    }
    friend HostNumber operator-(HostNumber a, HostNumber b) {
        if (a.is_int_ && b.is_int_) return HostNumber(checked_sub(a.i_, b.i_));
        return HostNumber(a.as_double() - b.as_double());
    }
    friend HostNumber operator*(HostNumber a, HostNumber b) {
        if (a.is_int_ && b.is_int_) return HostNumber(checked_mul(a.i_, b.i_));
        return HostNumber(a.as_double() * b.as_double());
    }
    // True division: always a float; dividing by zero raises ZeroDivisionError.
    friend HostNumber operator/(HostNumber a, HostNumber b) {
        if (b.as_double() == 0.0) {
            throw zero_division_error(a.is_int_ && b.is_int_ ? "division by zero" : "float division by zero");
        }
        if (a.is_int_ && b.is_int_) return HostNumber(exact_int_division(a.i_, b.i_));
        return HostNumber(a.as_double() / b.as_double());
    }

    // Comparisons as the interpreter makes them between int and float (exact).
    friend bool operator==(HostNumber a, HostNumber b) { return compare(a, b) == 0 && !either_nan(a, b); }
    friend bool operator<(HostNumber a, HostNumber b) { return !either_nan(a, b) && compare(a, b) < 0; }
    friend bool operator>(HostNumber a, HostNumber b) { return b < a; }
    friend bool operator<=(HostNumber a, HostNumber b) { return !either_nan(a, b) && compare(a, b) <= 0; }
    friend bool operator>=(HostNumber a, HostNumber b) { return b <= a; }

private:
    // An int result beyond 64 bits, which the interpreter would hold as a big int, is refused.
    [[noreturn]] static void int_overflow() { throw int_result_beyond_64_bits(); }
    static std::int64_t checked_add(std::int64_t a, std::int64_t b) {
        std::int64_t r;
        if (__builtin_add_overflow(a, b, &r)) int_overflow();
        return r;
    }
    static std::int64_t checked_sub(std::int64_t a, std::int64_t b) {
        std::int64_t r;
        if (__builtin_sub_overflow(a, b, &r)) int_overflow();
        return r;
    }
    static std::int64_t checked_mul(std::int64_t a, std::int64_t b) {
        std::int64_t r;
        if (__builtin_mul_overflow(a, b, &r)) int_overflow();
        return r;
    }
    static bool either_nan(HostNumber a, HostNumber b) {
        return (!a.is_int_ && std::isnan(a.d_)) || (!b.is_int_ && std::isnan(b.d_));
    }
    static int compare(HostNumber a, HostNumber b);
    static double exact_int_division(std::int64_t a, std::int64_t b);

    bool is_int_ = true;
    bool is_bool_ = false;
    std::int64_t i_ = 0;
    double d_ = 0.0;
};

} // namespace vombrelle
