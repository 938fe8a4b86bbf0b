// Items of a caller's list or map that the core cannot take as texts (an int key, a None line).
// The host fails on such an item only where its algorithm first uses it, after the items it used
// before; so a stage is handed the items' positions, with an empty text standing in for each, and
// raises an item's own error where its pass over the items reaches that position.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace vombrelle {

class ItemFaults {
public:
    // Throws the error of the item at a position (the host's, for what the stage does to it first).
    using Raise = std::function<void(std::size_t position)>;

    ItemFaults() = default;  // every item is a text
    // `positions` ascending. A list read up to its first item that is no text ends there: that
    // item's position is then the number of texts.
    ItemFaults(std::vector<std::size_t> positions, Raise raise)
        : positions_(std::move(positions)), raise_(std::move(raise)) {}

    void raise_if_at(std::size_t position) const {
        if (std::binary_search(positions_.begin(), positions_.end(), position)) raise_(position);
    }

private:
    std::vector<std::size_t> positions_;
    Raise raise_;
};

} // namespace vombrelle
