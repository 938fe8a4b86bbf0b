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

// The same in place, for callers that keep their list: no allocation for the few items of a
// record field.
template <class Text>
void uniq_in_place(std::vector<Text>& seq) {
    if (seq.size() > 8) {
        seq = uniq(seq);
        return;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < seq.size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < kept; ++j) {
            if (seq[j] == seq[i]) { seen = true; break; }
        }
        if (!seen) seq[kept++] = seq[i];
    }
    seq.resize(kept);
}

} // namespace vombrelle
