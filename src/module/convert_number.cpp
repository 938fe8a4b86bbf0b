#include "module/convert_number.hpp"

#include <cstring>

#include "common/scan_key.hpp"

namespace vombrelle::module {

static_assert(_PyHASH_BITS == 61, "numeric hashes modulo 2**61 - 1 (64-bit builds)");

Py_hash_t finite_float_hash(double x) {
    constexpr std::uint64_t modulus = _PyHASH_MODULUS;
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t(1) << 52) - 1);
    int exponent = -1074;  // subnormal
    if (biased != 0) {
        mantissa |= std::uint64_t(1) << 52;
        exponent = biased - 1075;
    }
    // |x| = mantissa * 2**exponent with mantissa < 2**53 < modulus, and 2**61 is 1 modulo it.
    int e = exponent % _PyHASH_BITS;
    if (e < 0) e += _PyHASH_BITS;
    const std::uint64_t h = e == 0 ? mantissa : ((mantissa << e) & modulus) | (mantissa >> (_PyHASH_BITS - e));
    const Py_hash_t signed_hash = negative ? -static_cast<Py_hash_t>(h) : static_cast<Py_hash_t>(h);
    return signed_hash == -1 ? -2 : signed_hash;
}

HostOperand to_operand(py::handle value) {
    PyObject* v = value.ptr();
    if (PyFloat_Check(v)) return HostOperand::of(PyFloat_AS_DOUBLE(v));
    if (PyBool_Check(v)) return HostOperand::of(HostNumber::boolean(v == Py_True));
    if (!PyLong_Check(v)) return HostOperand::foreign(Py_TYPE(v)->tp_name);
    int overflow = 0;
    const long long i = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (overflow != 0) {
        // Its float value, as the host converts an int that meets a float; none beyond the double
        // range, where that conversion raises.
        const double d = PyLong_AsDouble(v);
        if (d == -1.0 && PyErr_Occurred()) {
            if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();
            PyErr_Clear();
            return HostOperand::beyond_64_bits(std::nullopt);
        }
        return HostOperand::beyond_64_bits(d);
    }
    if (i == -1 && PyErr_Occurred()) throw py::error_already_set();
    return HostOperand::of(static_cast<std::int64_t>(i));
}

HostOperand to_operand_used_as(py::handle value, std::span<const OperandUse> uses, const char* argument) {
    const HostOperand operand = to_operand(value);
    if (operand.native()) return operand;
    try {
        if (operand.is_beyond_64_bits()) {
            // The message cannot say which value it refuses: the note does.
            throw int_operand_beyond_64_bits().with_context(argument_context(argument));
        }
        HostValue result(py::reinterpret_borrow<py::object>(value));
        for (const OperandUse& use : uses) {
            const HostValue other(to_python(use.other));
            const HostValue& left = use.operand_on_right ? other : result;
            const HostValue& right = use.operand_on_right ? result : other;
            result = use.op == "+" ? left + right : use.op == "-" ? left - right : left * right;
        }
        const double d = PyFloat_AsDouble(value.ptr());
        if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        return HostOperand::of(d);
    } catch (...) {
        return HostOperand::failing(DeferredFailure(std::current_exception()));
    }
}

std::optional<double> to_double(py::handle value) {
    PyObject* v = value.ptr();
    if (PyFloat_Check(v)) return PyFloat_AS_DOUBLE(v);
    if (!PyLong_Check(v)) return std::nullopt;
    const double d = PyLong_AsDouble(v);
    if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return d;
}

py::object to_python(HostNumber n) {
    if (n.is_bool()) return py::bool_(n.as_int() != 0);
    return own(n.is_int() ? PyLong_FromLongLong(n.as_int()) : PyFloat_FromDouble(n.as_double()));
}

HostNumber number_from_py(py::handle value, const Blame& blame) {
    const HostOperand operand = to_operand(value);
    try {
        operand.refuse_beyond_64_bits();
    } catch (HostError& e) {
        e.with_context(blame.note());
        throw;
    }
    if (!operand.native()) blame.refuse("'" + std::string(operand.type_name()) + "', not an int or float");
    return operand.number();
}

std::optional<std::int64_t> scan_from_key(py::handle key, bool refuse_too_large) {
    if (PyLong_Check(key.ptr())) {
        const HostOperand number = to_operand(key);
        if (number.is_beyond_64_bits() && !refuse_too_large) return std::nullopt;
        number.refuse_beyond_64_bits();
        return number.number().as_int();
    }
    if (PyFloat_Check(key.ptr())) return scan_key(HostNumber(PyFloat_AS_DOUBLE(key.ptr())));
    return std::nullopt;
}

} // namespace vombrelle::module
