// A number a caller passed, as the core can use it. The host rejects a value it cannot compute
// with only where the arithmetic first meets it, which may be never; so does HostOperand: it holds
// a native number (an int within 64 bits, a float, a bool), an int beyond 64 bits (with its float
// value while that fits a double), or a value of another type, named by its type, and each
// operation below fails where the host's would, in the host's words (common/errors.hpp).
#pragma once

#include <optional>
#include <string_view>

#include "common/number.hpp"

namespace vombrelle {

class HostOperand {
public:
    HostOperand() = default;  // the int 0
    static HostOperand of(HostNumber n) { return HostOperand(Kind::Native, n, {}, std::nullopt); }
    // A value of another type; the name must outlive the operand.
    static HostOperand foreign(std::string_view type_name) {
        return HostOperand(Kind::Foreign, HostNumber(), type_name, std::nullopt);
    }
    // An int beyond 64 bits, with its float value unless it lies beyond the double range.
    static HostOperand beyond_64_bits(std::optional<double> float_value) {
        return HostOperand(Kind::Beyond64Bits, HostNumber(), "int", float_value);
    }

    bool native() const { return kind_ == Kind::Native; }
    bool is_beyond_64_bits() const { return kind_ == Kind::Beyond64Bits; }
    // The number of a native operand (the int 0 otherwise).
    const HostNumber& number() const { return number_; }
    // The host's name of a non-native operand's type.
    std::string_view type_name() const { return type_name_; }

    // An int beyond 64 bits is refused here with OverflowError, for an operation that needs the
    // value as the core holds numbers.
    void refuse_beyond_64_bits() const {
        if (is_beyond_64_bits()) throw int_operand_beyond_64_bits();
    }

    // `left <op> this` and `this <op> right` for op "+", "-" or "*", in the host's int and float
    // arithmetic; beyond 64 bits refused, another type the host's TypeError.
    HostNumber right_of(std::string_view op, HostNumber left) const;
    HostNumber left_of(std::string_view op, HostNumber right) const;

    // The value where it meets a float: `float <op> this` and `this <op> float`. An int beyond 64
    // bits converts as the host converts it (OverflowError beyond the double range).
    double float_right_of(std::string_view op) const;
    double float_left_of(std::string_view op) const;

    // `value <= this` as the host compares a float with it (exactly, for an int).
    bool at_least(double value) const;

private:
    enum class Kind { Native, Beyond64Bits, Foreign };
    HostOperand(Kind kind, HostNumber number, std::string_view type_name, std::optional<double> float_value)
        : kind_(kind), number_(number), type_name_(type_name), float_value_(float_value) {}

    double as_float(std::string_view op, bool on_right) const;

    Kind kind_ = Kind::Native;
    HostNumber number_;
    std::string_view type_name_;
    std::optional<double> float_value_;
};

} // namespace vombrelle
