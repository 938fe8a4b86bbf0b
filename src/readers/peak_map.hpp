// Building a record's peak map: m/z (as parsed) -> intensity (rounded to 5 decimals), in first
// insertion order, a repeated m/z keeping its place and taking the later intensity. Keys compare
// as the interpreter's dict keys of fresh float objects do: 0.0 and -0.0 are one key; a NaN is
// never equal to anything, so every NaN peak is an entry of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/scan_table.hpp"

namespace vombrelle {

class PeakMapBuilder {
public:
    // Starts appending to `peaks` (which may already hold entries, as when DTA members merge).
    void attach(std::vector<Peak>* peaks);
    void detach() { attach(nullptr); }

    // Stores the intensity under the m/z.
    [[gnu::always_inline]] void store(double mz, double intensity) {
        if (ascending_ && (peaks_->empty() || mz > peaks_->back().mz)) {
            peaks_->push_back({mz, intensity});
            return;
        }
        store_out_of_order(mz, intensity);
    }

private:
    void store_out_of_order(double mz, double intensity);
    void build_index();
    std::size_t find_or_insert_slot(double mz, std::size_t position);

    std::vector<Peak>* peaks_ = nullptr;
    // While the m/z values arrived strictly increasing (the usual case) a new one larger than the
    // last is known to be new and no index is needed.
    bool ascending_ = true;
    // Open-addressing index (position + 1; 0 is empty), built the first time order breaks.
    std::vector<std::uint32_t> slots_;
    std::size_t indexed_ = 0;  // peaks covered by the index
};

} // namespace vombrelle
