#include "common/host_operand.hpp"

#include "common/errors.hpp"

namespace vombrelle {

namespace {

// The host's name of a native number's type, as its messages give it.
std::string_view kind_name(HostNumber n) { return n.is_int() ? "int" : "float"; }

HostNumber apply(std::string_view op, HostNumber left, HostNumber right) {
    if (op == "+") return left + right;
    if (op == "-") return left - right;
    return left * right;
}

} // namespace

HostNumber HostOperand::right_of(std::string_view op, HostNumber left) const {
    if (!native()) {
        failure_.raise();
        refuse_beyond_64_bits();
        throw unsupported_operands(op, kind_name(left), type_name_);
    }
    return apply(op, left, number_);
}

HostNumber HostOperand::left_of(std::string_view op, HostNumber right) const {
    if (!native()) {
        failure_.raise();
        refuse_beyond_64_bits();
        throw unsupported_operands(op, type_name_, kind_name(right));
    }
    return apply(op, number_, right);
}

double HostOperand::as_float(std::string_view op, bool on_right) const {
    switch (kind_) {
        case Kind::Native: return number_.as_double();
        case Kind::Beyond64Bits:
            if (!float_value_) throw int_too_large_for_float();
            return *float_value_;
        case Kind::Failing: failure_.raise(); break;
        case Kind::Foreign: break;
    }
    throw on_right ? unsupported_operands(op, "float", type_name_) : unsupported_operands(op, type_name_, "float");
}

double HostOperand::float_right_of(std::string_view op) const { return as_float(op, true); }

double HostOperand::float_left_of(std::string_view op) const { return as_float(op, false); }

bool HostOperand::at_least(double value) const {
    if (!native()) {
        failure_.raise();
        refuse_beyond_64_bits();
        throw unsupported_operands("<=", "float", type_name_);
    }
    return HostNumber(value) <= number_;
}

void HostOperand::meet(std::span<const OperandUse> uses) const {
    if (native()) return;
    HostOperand value = *this;
    for (const OperandUse& use : uses) {
        value = of(use.operand_on_right ? value.right_of(use.op, use.other) : value.left_of(use.op, use.other));
    }
}

} // namespace vombrelle
