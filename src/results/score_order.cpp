#include "results/score_order.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/errors.hpp"

namespace vombrelle {

std::vector<std::size_t> descending_order(std::span<const HostNumber> keys, bool any_foreign,
                                          const DescendingSort& fallback) {
    bool unordered = any_foreign;
    for (const HostNumber& k : keys) {
        if (!k.is_int() && std::isnan(k.as_double())) {
            unordered = true;
            break;
        }
    }
    if (unordered) {
        if (!fallback) throw value_error("scores without a total order cannot be sorted natively");
        return fallback(keys);
    }
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // Floats and small integers (the search's 0) compare exactly as plain doubles.
    constexpr std::int64_t kExactInDouble = std::int64_t{1} << 53;
    bool all_double = std::all_of(keys.begin(), keys.end(), [](const HostNumber& k) {
        return !k.is_int() || (k.as_int() >= -kExactInDouble && k.as_int() <= kExactInDouble);
    });
    if (all_double) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return keys[b].as_double() < keys[a].as_double();
        });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[b] < keys[a]; });
    }
    return order;
}

std::vector<std::size_t> descending_score_order(std::span<const HostOperand> scores, const DescendingSort& fallback) {
    std::vector<HostNumber> keys;
    keys.reserve(scores.size());
    bool any_foreign = false;
    for (const HostOperand& s : scores) {
        keys.push_back(s.number());
        any_foreign = any_foreign || !s.native();
    }
    return descending_order(keys, any_foreign, fallback);
}

} // namespace vombrelle
