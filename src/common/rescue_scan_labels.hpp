// The scan numbers of the rescue spectra. The rescue spectrum generation writes each group's
// spectra under labels that tell the group sizes apart in the search of the rescue spectra: the
// scan itself (four-scan groups), the scan + 1000000 (three-scan groups, an int) and the scan + 0.1
// (two-scan groups, a float). The MS2-search rescue looks a three-scan group's spectra up under
// their label, and shows a rescued record's side-B scans as scan + 0.1 whatever the group's size.
//
// The shifts are the host's additions: a float scan stays a float, an int past 64 bits raises
// OverflowError.
#pragma once

#include <cstdint>

#include "common/number.hpp"
#include "common/scan_grouping.hpp"

namespace vombrelle {

inline constexpr std::int64_t kThreeScanLabelShift = 1000000;
inline constexpr double kTwoScanLabelShift = 0.1;

// Where a three-scan group's rescue spectra are found: scan + 1000000.
inline HostNumber three_scan_rescue_scan(HostNumber scan) { return scan + HostNumber(kThreeScanLabelShift); }

// The SCANS label of a rescue spectrum written for `scan` of a group of `size`.
inline HostNumber rescue_spectrum_label(GroupSize size, HostNumber scan) {
    switch (size) {
        case GroupSize::Four: return scan;
        case GroupSize::Three: return three_scan_rescue_scan(scan);
        case GroupSize::Two: return scan + HostNumber(kTwoScanLabelShift);
    }
    return scan;
}

// How a rescued record shows a side-B scan: scan + 0.1, for every group size.
inline HostNumber rescued_record_scan(HostNumber scan) { return scan + HostNumber(kTwoScanLabelShift); }

} // namespace vombrelle
