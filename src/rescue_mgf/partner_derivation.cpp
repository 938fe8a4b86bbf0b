#include "rescue_mgf/partner_derivation.hpp"

#include <cmath>

#include "common/cross_link_mass.hpp"
#include "common/mass_constants.hpp"

namespace vombrelle::rescue_mgf {

namespace {

Partner partner_of(const Precursor& ms2, const ArmScan& scan, double deficit) {
    const double mass = partner_mh(ms2.mh, scan.mass, deficit);
    std::int64_t charge = (HostNumber(ms2.charge) - HostNumber(scan.charge)).as_int();
    if (charge == 0) charge = 1;
    return Partner{mz_from_mh(mass, charge), charge};
}

bool within_tolerance(double peak_mz, double partner_mz) {
    return kPairTolerance.contains(std::fabs(peak_mz - partner_mz), peak_mz);
}

} // namespace

ArmPartners derive_partners(const Precursor& ms2, const ArmScan& lighter, const ArmScan& heavier,
                            const HostOperand& linker_deficit) {
    const double deficit = linker_deficit.float_right_of("+");
    // Long first: the order in which the interpreter meets (and would reject) the values.
    const Partner long_partner = partner_of(ms2, lighter, deficit);
    const Partner short_partner = partner_of(ms2, heavier, deficit);
    return ArmPartners{long_partner, short_partner};
}

ArmPartners derive_partners_in_order(const Precursor& ms2, const ArmScan& first, const ArmScan& second,
                                     const HostOperand& linker_deficit) {
    if (first.mass < second.mass) return derive_partners(ms2, first, second, linker_deficit);
    return derive_partners(ms2, second, first, linker_deficit);
}

std::optional<bool> two_scan_arm_order(double first_mass, double second_mass, const HostOperand& linker_dm) {
    auto within_ten_percent = [&] {
        const double dm = linker_dm.float_left_of("-");
        const double off = std::fabs(dm - std::fabs(second_mass - first_mass));
        return kArmFormTolerance.contains(off, dm);
    };
    // The masses are compared before the ratio is formed, so equal masses never divide.
    if (first_mass < second_mass) {
        if (within_ten_percent()) return true;
    } else if (first_mass > second_mass) {
        if (within_ten_percent()) return false;
    }
    return std::nullopt;
}

bool partners_confirmed(const std::vector<Peak>& ms2_peaks, const ArmPartners& partners) {
    bool long_found = false;
    bool short_found = false;
    for (const Peak& peak : ms2_peaks) {
        // A non-positive m/z is no peak to measure a relative error against.
        if (!(peak.mz > 0.0)) continue;
        if (within_tolerance(peak.mz, partners.long_partner.mz)) {
            long_found = true;
        } else if (within_tolerance(peak.mz, partners.short_partner.mz)) {
            short_found = true;
        }
    }
    return long_found && short_found;
}

} // namespace vombrelle::rescue_mgf
