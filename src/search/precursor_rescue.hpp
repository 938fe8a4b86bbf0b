// Precursor-mass rescue (RescuePrecMass). A four-scan group whose MS3 masses miss the MS2 precursor
// by the same whole number of daltons (1 to 5, either sign) under both pairings of the arm masses
// had its precursor picked on an isotope peak instead of the monoisotopic one. The rescue looks for
// the measured precursor m/z among the peaks of the nearest preceding MS1 scans, in the first scan
// that has it for a peak within 15 ppm of the m/z the monoisotopic precursor would have, and hands
// back the corrected m/z and MH+ ("<m/z>:<MH+>", floats in the host's text) with the remarks
// "Derived_MS2mass_located" or "Derived_MS2mass_not_located" and "Upstream search: <Da>" or
// "Downstream search: <Da>". When no peak confirms the expected m/z, the expected m/z and its MH+
// are handed back all the same.
//
// The result is (false, "", "") when the two pairings disagree or miss the 1-5 Da window, when none
// of the five nearest MS1 scans below the parent holds the measured m/z exactly, or when the group
// lacks an identified scan on either side in the High and Medium table (a1 or a2, and b1 or b2).
//
// Numbers are the host's: the arithmetic follows its int/float rules, differences are rounded to
// 1 decimal and the m/z shift to 5 decimals by the host's round(). Failures are the host's: an
// empty mass list raises IndexError, a charge of 0 ZeroDivisionError (reached only after an MS1
// match). A peak at m/z 0 is simply no match: the 15 ppm test is relative to the peak.
//
// Scan numbers follow common/scan_key.hpp, except the parent's: the walk below it is the host's
// range(), which takes only an int (a bool is one), so a float parent raises TypeError once the
// group's masses call for the walk, a whole-valued one too.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/named_calls.hpp"
#include "common/psm.hpp"
#include "common/scan_table.hpp"

namespace vombrelle {

// How many MS1 scans present below the parent the rescue examines at most, nearest first.
inline constexpr std::size_t kMs1ScansExamined = 5;

// The scan numbers of an MS1 table in ascending order. Walking down every scan number below a
// parent costs as much as the gap below it (unbounded for a parent far above the archive's scans),
// a binary search costs log n. Build it once per table and reuse it while the table stands
// unchanged.
class Ms1ScanIndex {
public:
    explicit Ms1ScanIndex(const SpectrumTable& ms1);

    // The scans s with 0 <= s < below, ascending.
    std::span<const std::int64_t> scans_from_zero_below(std::int64_t below) const;

private:
    std::vector<std::int64_t> sorted_;
};

// The MS1 scans the rescue examines: the kMs1ScansExamined nearest scan numbers s below the parent
// that the table holds, 0 <= s < parent, found by a walk down from the parent (through the
// table's index, or asking the table for each number in turn) or from the table's keys offered
// in any order.
class Ms1ScansBelow {
public:
    explicit Ms1ScansBelow(std::int64_t parent) : parent_(parent) {}

    // How many numbers the walk that asks for each may ask: those of [0, parent).
    std::int64_t numbers_below() const { return parent_ > 0 ? parent_ : 0; }
    bool full() const { return nearest_.size() >= kMs1ScansExamined; }

    // The walk down from the parent, asking `holds(s)` for s = parent - 1, parent - 2, ..., 0 until
    // full: the nearest scans first, and no question beyond them.
    template <class Holds>
    void walk_down(Holds&& holds) {
        for (std::int64_t s = parent_ - 1; s >= 0 && !full(); --s) {
            if (holds(s)) offer(s);
        }
    }
    // The same walk over the table's index.
    void walk_down(const Ms1ScanIndex& index);
    // A scan the table holds, offered in any order: kept while it is among the nearest below the
    // parent.
    void offer(std::int64_t scan);

    const std::vector<std::int64_t>& nearest_first() const { return nearest_; }

private:
    std::int64_t parent_;
    std::vector<std::int64_t> nearest_;  // descending
};

// The group's isotope error: the precursor error (Da, rounded to one decimal) that both pairings of the
// arm masses agree on, when it is 1 to 5 Da either way; nothing otherwise, and the rescue then
// looks at neither table. Reads element 0 of the four mass lists (IndexError for an empty one).
std::optional<double> isotope_error(const PrecursorRescueRequest& request);

// The parent scan as the walk below it takes it; TypeError for a float.
std::int64_t walk_parent(HostNumber parent);

// RescuePrecMass. `index` must be built from `ms1` as it stands; `med_high` is only asked for
// membership.
PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest& request, const SpectrumTable& ms1,
                                       const Ms1ScanIndex& index, const PsmMatchTable& med_high);

} // namespace vombrelle
