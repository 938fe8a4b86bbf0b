#include "readers/peak_map.hpp"

#include <cstring>

namespace vombrelle {

namespace {

// Hash of a double as a dict key: 0.0 and -0.0 alike.
inline std::uint64_t key_hash(double mz) {
    if (mz == 0.0) mz = 0.0;
    std::uint64_t bits;
    std::memcpy(&bits, &mz, sizeof bits);
    bits ^= bits >> 33;
    bits *= 0xff51afd7ed558ccdULL;
    bits ^= bits >> 33;
    return bits;
}

} // namespace

void PeakMapBuilder::attach(std::vector<Peak>* peaks) {
    peaks_ = peaks;
    slots_.clear();
    indexed_ = 0;
    ascending_ = true;
    if (peaks_ != nullptr) {
        const auto& v = *peaks_;
        for (std::size_t i = 1; i < v.size() && ascending_; ++i) ascending_ = v[i - 1].mz < v[i].mz;
    }
}

std::size_t PeakMapBuilder::find_or_insert_slot(double mz, std::size_t position) {
    // Returns the position of an equal key, or records `position` for mz and returns it.
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = key_hash(mz) & mask;
    const auto& v = *peaks_;
    for (;;) {
        const std::uint32_t s = slots_[i];
        if (s == 0) {
            slots_[i] = static_cast<std::uint32_t>(position + 1);
            return position;
        }
        if (v[s - 1].mz == mz) return s - 1;  // never true for NaN
        i = (i + 1) & mask;
    }
}

void PeakMapBuilder::build_index() {
    std::size_t cap = 16;
    while (cap < (peaks_->size() + 1) * 2) cap *= 2;
    slots_.assign(cap, 0);
    indexed_ = 0;
    for (std::size_t i = 0; i < peaks_->size(); ++i) {
        find_or_insert_slot((*peaks_)[i].mz, i);
        ++indexed_;
    }
}

void PeakMapBuilder::store_out_of_order(double mz, double intensity) {
    auto& v = *peaks_;
    ascending_ = false;
    if (slots_.empty() || indexed_ != v.size() || (v.size() + 1) * 2 > slots_.size()) build_index();
    const std::size_t pos = find_or_insert_slot(mz, v.size());
    if (pos == v.size()) {
        v.push_back({mz, intensity});
        ++indexed_;
    } else {
        v[pos].intensity = intensity;
    }
}

} // namespace vombrelle
