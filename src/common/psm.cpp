#include "common/psm.hpp"

#include <algorithm>
#include <cstring>

namespace vombrelle {

namespace {

// Confidence texts are nearly always one of three; those need no copy.
std::string_view known_confidence(std::string_view text) {
    static constexpr std::string_view known[] = {"High", "Medium", "Low"};
    for (auto k : known) {
        if (k == text) return k;
    }
    return {};
}

} // namespace

std::string_view PsmRowStore::keep(std::string_view text) {
    if (text.empty()) return {};
    if (block_size_ - block_used_ < text.size()) {
        block_size_ = std::max<std::size_t>(std::size_t{1} << 16, text.size());
        blocks_.push_back(std::make_unique<char[]>(block_size_));
        block_used_ = 0;
    }
    char* dst = blocks_.back().get() + block_used_;
    std::memcpy(dst, text.data(), text.size());
    block_used_ += text.size();
    return {dst, text.size()};
}

std::uint32_t PsmRowStore::add(std::string_view sequence, std::string_view accessions,
                               std::string_view descriptions, std::string_view confidence) {
    PsmRowTexts row;
    row.sequence = keep(sequence);
    row.accessions = keep(accessions);
    row.descriptions = keep(descriptions);
    std::string_view known = known_confidence(confidence);
    row.confidence = known.empty() ? keep(confidence) : known;
    rows_.push_back(row);
    return static_cast<std::uint32_t>(rows_.size() - 1);
}

} // namespace vombrelle
