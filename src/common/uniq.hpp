// Order-keeping de-duplication of texts: the first occurrence of each distinct text, in input
// order. Every ";"-joined field of a cross-link record passes through it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vombrelle {

template <class Text>
std::vector<Text> uniq(const std::vector<Text>& seq) {
    std::vector<Text> out;
    out.reserve(seq.size());
    if (seq.size() <= 8) {
        // Record fields hold one or a few items: a linear scan beats hashing.
        for (const auto& item : seq) {
            bool seen = false;
            for (const auto& kept : out) {
                if (kept == item) { seen = true; break; }
            }
            if (!seen) out.push_back(item);
        }
        return out;
    }
    std::unordered_set<std::string_view> seen;
    seen.reserve(seq.size());
    for (const auto& item : seq) {
        if (seen.insert(std::string_view(item)).second) out.push_back(item);
    }
    return out;
}

} // namespace vombrelle
