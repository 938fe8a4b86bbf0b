#include "rescue_mgf/group_masses.hpp"

namespace vombrelle::rescue_mgf {

ScanMasses parse_scan_masses(const SpectrumRecord& record) {
    ScanMasses out;
    out.masses.reserve(record.headers.size());
    for (const std::string& entry : record.headers) {
        const Precursor p = parse_precursor(entry, PrecursorReading::BothThenCharge);
        out.charge = p.charge;
        out.masses.push_back(p.mh);
    }
    return out;
}

void all_mass_pairs(const std::vector<double>& masses, MassPairs& out) {
    out.clear();
    for (std::size_t i = 0; i < masses.size(); ++i) {
        for (std::size_t j = i + 1; j < masses.size(); ++j) out.emplace_back(masses[i], masses[j]);
    }
}

} // namespace vombrelle::rescue_mgf
