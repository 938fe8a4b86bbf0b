// Numbers across the module boundary: the one place where the interpreter's numbers become the
// core's, and the interpreter's own arithmetic for the core's formulas on values it cannot hold.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "common/host_operand.hpp"
#include "common/number.hpp"
#include "module/binding.hpp"
#include "module/py_support.hpp"

namespace vombrelle::module {

namespace py = pybind11;

// A float, or an int within 64 bits (a bool kept as one, for its text), as the core's number.
// Anything else is a foreign operand named by its type (the name lives as long as the type); an int
// beyond 64 bits keeps its float value, for where it meets a float, and is refused with
// OverflowError where the core would compute with it as an int.
HostOperand to_operand(py::handle value);

// The argument `value` as a formula of the core that applies `uses` to it meets it: a native
// number as to_operand takes it; a value of another type is put through `uses` under the
// interpreter's own arithmetic here, and what they raise is raised where the core first uses the
// value (HostOperand::failing); when they succeed the value serves as its float(). An int beyond
// 64 bits, which the core's arithmetic cannot hold, is refused there with OverflowError, with a
// note naming the argument.
HostOperand to_operand_used_as(py::handle value, std::span<const OperandUse> uses, const char* argument);

// float(value) for a float or an int, as the interpreter converts an int that meets a float in
// arithmetic (the nearest double; OverflowError beyond the double range); nothing for any other
// type.
std::optional<double> to_double(py::handle value);

py::object to_python(HostNumber n);

// hash(x) of a finite float as the interpreter computes it: |x| as a fraction reduced modulo the
// prime 2**61 - 1, the sign applied, -1 taken as -2. Here straight from the double's bits (the
// mantissa times a power of two, which modulo 2**61 - 1 is a rotation of 61 bits), where the
// interpreter walks the mantissa 28 bits at a time: a table of new floats is filled without
// hashing its keys that slow way.
Py_hash_t finite_float_hash(double x);

// A table key as a scan number: an int or a whole float, which a lookup by int finds; nothing for
// any other key, which no lookup by scan number finds. An int beyond 64 bits raises OverflowError
// with `refuse_too_large` (a table taken whole), and is passed over without (only scans below some
// parent are looked for).
std::optional<std::int64_t> scan_from_key(py::handle key, bool refuse_too_large = true);

// A number the core computes with or keys a table by: an int within 64 bits or a float. An int
// beyond 64 bits raises OverflowError with `blame`'s note; any other value, `blame`'s TypeError.
HostNumber number_from_py(py::handle value, const Blame& blame);

// An object under the interpreter's own arithmetic, for a formula the core writes once over any
// number type (rescale_qval): a q-value of any type is rescaled as the interpreter would.
class HostValue {
public:
    HostValue(int constant) : object_(own(PyLong_FromLong(constant))) {}  // NOLINT: the formulas' constants
    explicit HostValue(py::object object) : object_(std::move(object)) {}

    const py::object& object() const { return object_; }

    friend HostValue operator+(const HostValue& a, const HostValue& b) {
        return HostValue(own(PyNumber_Add(a.object_.ptr(), b.object_.ptr())));
    }
    friend HostValue operator-(const HostValue& a, const HostValue& b) {
        return HostValue(own(PyNumber_Subtract(a.object_.ptr(), b.object_.ptr())));
    }
    friend HostValue operator*(const HostValue& a, const HostValue& b) {
        return HostValue(own(PyNumber_Multiply(a.object_.ptr(), b.object_.ptr())));
    }
    friend HostValue operator/(const HostValue& a, const HostValue& b) {
        return HostValue(own(PyNumber_TrueDivide(a.object_.ptr(), b.object_.ptr())));
    }

private:
    py::object object_;
};

} // namespace vombrelle::module
