// Derivation of the partner fragments of an arm pair and their confirmation among the peaks of
// the parent MS2 scan.
//
// Two MS3 scans taken as the two arm forms of one peptide determine the other peptide's two
// signature fragments: each partner's MH+ is the MS2 MH+ less the scan's MH+ and the linker
// deficit, its charge the MS2 charge less the scan's. The partner of the lighter scan is the
// long partner, that of the heavier scan the short partner.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/host_operand.hpp"
#include "common/scan_table.hpp"
#include "rescue_mgf/group_masses.hpp"

namespace vombrelle::rescue_mgf {

// One MS3 scan of an arm pair: its own precursor MH+ (Da, first header entry) and charge.
struct ArmScan {
    double mass;
    std::int64_t charge;
};

// A derived partner fragment.
struct Partner {
    double mz;            // m/z
    std::int64_t charge;  // never 0 (0 is taken as 1); negative when the MS2 charge is too low
};

struct ArmPartners {
    Partner long_partner;   // derived from the lighter scan
    Partner short_partner;  // derived from the heavier scan
};

// The partners of the pair (lighter, heavier).
ArmPartners derive_partners(const Precursor& ms2, const ArmScan& lighter, const ArmScan& heavier,
                            const HostOperand& linker_deficit);

// The partners of an ordered pair of scans in a four- or three-scan group: the first scan is the
// lighter one only when strictly lighter (equal masses make the second scan the lighter).
ArmPartners derive_partners_in_order(const Precursor& ms2, const ArmScan& first, const ArmScan& second,
                                     const HostOperand& linker_deficit);

// The arm-pair test of a two-scan group: the two masses must differ by linker_dm within 10 % of
// it. Returns whether the first scan is the lighter one, or nothing when the pair fails.
std::optional<bool> two_scan_arm_order(double first_mass, double second_mass, const HostOperand& linker_dm);

// True when each partner m/z lies within 20 ppm (relative to the peak) of some peak, a single
// peak counting for the long partner first. Peaks at m/z 0 or below confirm nothing.
bool partners_confirmed(const std::vector<Peak>& ms2_peaks, const ArmPartners& partners);

} // namespace vombrelle::rescue_mgf
