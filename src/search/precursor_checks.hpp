// What every MS3 group goes through between its grouping and its peptide lookup: the MH+ of its
// scans' own precursors, its parent MS2 precursor, the test of every pair of MS3 masses against
// that precursor, the hand-off of a group no pair explains to the MS2-search rescue, and the check
// that the MS3 precursors show up among the parent's peaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/named_calls.hpp"
#include "common/precursor.hpp"
#include "common/scan_table.hpp"
#include "common/tolerance.hpp"

namespace vombrelle::search {

// The parent MS2 scan's precursor: its first header entry, read m/z first.
Precursor parent_precursor(const SpectrumRecord& parent);

// The own precursors of a group's scans, read from the msn-1 MS3 table.
class GroupMasses {
public:
    // Reads the header entries of each scan, in scan order, m/z first; every scan must be in `msn1`.
    void read(const SpectrumTable& msn1, std::span<const std::int64_t> scans);

    const Ms3MassList& of(std::size_t position) const { return per_scan_[position]; }
    const std::vector<double>& mh() const { return mh_; }  // every scan's MH+, scan after scan (Da)
    const std::vector<double>& mz() const { return mz_; }  // the m/z of the same entries

private:
    std::vector<Ms3MassList> per_scan_;
    std::vector<double> mh_;
    std::vector<double> mz_;
};

struct PairTest {
    bool matched = false;                // some pair explains the precursor
    bool within_window = false;          // some pair misses it by 5.5 Da at most
    std::vector<double> matched_masses;  // both masses of every matching pair, pair after pair (Da)
};

// Tests every unordered pair of `mh` (positions i < j, in order) against the precursor MH+:
// joined by linker_deficit (common/cross_link_mass.hpp) within 20 ppm of it, and within the
// isotope window.
void test_pairs(const std::vector<double>& mh, double precursor_mh, double linker_deficit, PairTest& out);

// Whether the MS3 precursor m/z values match the parent's peaks (20 ppm of the peak m/z) at least
// `needed` times: each peak in the spectrum's order counts every m/z it matches, and the visit
// stops once the count is reached.
bool signature_peaks_found(const std::vector<Peak>& parent_peaks, const std::vector<double>& ms3_mz,
                           std::size_t needed);

// Hands a group no pair explains to Rescue_PrecMismatch_XLs and copies the non-empty records it
// returns into `result`, in its order; returns whether any was copied. A rescue that returns no map
// fails as the interpreter's loop over it would.
bool rescue_mismatch(NamedCalls& calls, const MismatchRescueRequest& request, SearchPsmTables& tables,
                     CrossLinkScoreMap& result);

} // namespace vombrelle::search
