// An inclusive upper limit a caller passed: the precursor re-check's tolerance in ppm, the FDR
// cut-off in percent. The core compares a value with a native number itself. Another kind of
// number (a Fraction, a Decimal, an int beyond 64 bits) only the host can compare exactly, so the
// caller that holds the host's comparison hands it over; without it such a limit fails where it is
// first compared, as the host's type error (an int beyond 64 bits: its OverflowError).
#pragma once

#include <functional>

#include "common/host_operand.hpp"

namespace vombrelle {

struct UpperLimit {
    HostOperand value;
    std::function<bool(double x)> host_at_or_below;  // x <= value, as the host compares them

    // x <= the limit.
    bool admits(double x) const {
        if (!value.native() && host_at_or_below) return host_at_or_below(x);
        return value.at_least(x);
    }
};

} // namespace vombrelle
