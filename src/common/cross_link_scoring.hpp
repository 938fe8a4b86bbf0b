// The scores and classes of cross-link records, from the rescaled q-values of their PSMs (higher
// is better: 1 - q-value, or the value a confidence stands in for when the export has none). The
// search scores each group size by its own rule, the rescued builder like a four-scan group; what
// they share is written here once.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "common/number.hpp"

namespace vombrelle {

// The texts of the record's class field.
namespace cross_link_class {
inline constexpr std::string_view kHigh = "High";
inline constexpr std::string_view kMedium = "Medium";
inline constexpr std::string_view kLow = "Low";
inline constexpr std::string_view kMs2MedLow = "MS2_MedLow";  // a four-scan record below Low
inline constexpr std::string_view kVeryLow = "Very_low";      // a rescued record below Low
} // namespace cross_link_class

// The q-value bands: high above kHighQval, medium above kMediumQval up to it, low above 0 up to
// kMediumQval. A PSM whose confidence stands in for its q-value gets its band's lower bound, which
// is not above it: a High PSM without q-value counts as medium, a Medium one as low.
inline constexpr double kHighQval = 0.99;
inline constexpr double kMediumQval = 0.95;

enum class QvalBand { None, Low, Medium, High };
QvalBand qval_band(HostNumber qval);

// A peptide's points from the q-values of its scans: 18 per high, 8 per medium, 3 per low one.
int peptide_points(std::span<const HostNumber> qvals);

struct ClassAndScore {
    std::string_view cross_link_class;
    HostNumber score;
};

// What a record gets when a peptide has fewer than 6 points: its class, and the summed q-values as
// its score or else the integer 0.
struct BelowLow {
    std::string_view cross_link_class;
    bool keeps_sum;
};
inline constexpr BelowLow kSearchBelowLow{cross_link_class::kMs2MedLow, false};
inline constexpr BelowLow kRescueBelowLow{cross_link_class::kVeryLow, true};

// Four arm scans (a1, a2, b1, b2) by their peptides' points: High x20 when both peptides have 18,
// Medium when both have 8 (x10 with a peptide at 18, else x8), Low when both have 6 (x4 with a
// peptide at 18, x2 with one at 8, else x1), otherwise `below`. The sum is each peptide's sum()
// from the integer 0, then the two added: (0 + a1 + a2) + (0 + b1 + b2).
ClassAndScore class_by_points(const std::array<HostNumber, 4>& qvals, BelowLow below);

// Three- and two-scan records: High when some q-value of each peptide is above kHighQval, Medium
// likewise above kMediumQval, else Low. Each peptide's q-values as the group has them.
std::string_view class_by_bands(std::span<const HostNumber> a_qvals, std::span<const HostNumber> b_qvals);

// Whether a three- or two-scan record of this class is stored (High or Medium).
bool class_stores(std::string_view cross_link_class);

// Three-scan groups: the four q-values summed left to right, times 20, 10, 8, 4 or 1 by the better
// q-value of each peptide.
HostNumber triplet_score(HostNumber a1, HostNumber a2, HostNumber b1, HostNumber b2);

// Two-scan groups: the two q-values summed, times 20, 10, 8, 4 or 1; doubled when both scans gave
// the same sequences.
HostNumber pair_score(HostNumber a, HostNumber b, bool same_sequences);

} // namespace vombrelle
