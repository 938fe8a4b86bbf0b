// Ordering scored items best first, as the interpreter's stable sort does.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "common/host_operand.hpp"
#include "common/number.hpp"

namespace vombrelle {

// The positions of the keys in descending order of value; equal keys keep their input order.
// The native order needs a total order: when some key is NaN or `any_foreign` is set, the order
// depends on the interpreter's own merge strategy, and `fallback` decides it (without a fallback
// such keys raise a value error).
using DescendingSort = std::function<std::vector<std::size_t>(std::span<const HostNumber> keys)>;
std::vector<std::size_t> descending_order(std::span<const HostNumber> keys, bool any_foreign,
                                          const DescendingSort& fallback);

// Descending order of scores given as operands (see above).
std::vector<std::size_t> descending_score_order(std::span<const HostOperand> scores, const DescendingSort& fallback);

} // namespace vombrelle
