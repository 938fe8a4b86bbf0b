// A number a caller passed, as the core can use it. The host rejects a value it cannot compute
// with only where the arithmetic first meets it, which may be never; so does HostOperand: it holds
// a native number (an int within 64 bits, a float, a bool), an int beyond 64 bits (with its float
// value while that fits a double), a value of another type, named by its type, or the failure the
// host's own arithmetic met on the value (OperandUse), and each operation below fails where the
// host's would, in the host's words (common/errors.hpp).
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "common/number.hpp"

namespace vombrelle {

// One operation a formula of the core applies to a caller's number: `other <op> operand` or
// `operand <op> other`, with op "+", "-" or "*". A formula states the operations it applies, in
// order, each to the result of the one before, with values standing for the ones it computes
// with (an int, a float), so that a caller holding a value the core cannot hold can run them
// under the host's own arithmetic and learn what the formula will meet (readers/psm_table.hpp).
struct OperandUse {
    std::string_view op;
    HostNumber other;
    bool operand_on_right;
};

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
    // A value whose use fails with `failure`, as the host's arithmetic failed on it in the
    // operations a formula applies (OperandUse): every operation below raises it.
    static HostOperand failing(DeferredFailure failure) {
        HostOperand o(Kind::Failing, HostNumber(), {}, std::nullopt);
        o.failure_ = std::move(failure);
        return o;
    }

    bool native() const { return kind_ == Kind::Native; }
    bool is_beyond_64_bits() const { return kind_ == Kind::Beyond64Bits; }
    // The number of a native operand (the int 0 otherwise).
    const HostNumber& number() const { return number_; }
    // The host's name of the type of an operand that is neither native nor failing.
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

    // Applies `uses` in order and raises what the first failing one raises: nothing for a native
    // number; what a formula meets first, for any other operand, before the formula is computed.
    void meet(std::span<const OperandUse> uses) const;

private:
    enum class Kind { Native, Beyond64Bits, Foreign, Failing };
    HostOperand(Kind kind, HostNumber number, std::string_view type_name, std::optional<double> float_value)
        : kind_(kind), number_(number), type_name_(type_name), float_value_(float_value) {}

    double as_float(std::string_view op, bool on_right) const;

    Kind kind_ = Kind::Native;
    HostNumber number_;
    std::string_view type_name_;
    std::optional<double> float_value_;
    DeferredFailure failure_;
};

} // namespace vombrelle
