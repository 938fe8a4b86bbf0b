#include "rescue_mgf/group_masses.hpp"

#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle::rescue_mgf {

namespace {

[[noreturn]] void raise_unusable(const LinkerArgument& a, const std::string& operation) {
    if (a.too_large) throw overflow_error("int too large to convert to float");
    throw type_error("unsupported operand type(s) for " + operation);
}

} // namespace

double LinkerArgument::as_addend() const {
    if (too_large || !bad_type.empty()) raise_unusable(*this, "+: 'float' and '" + bad_type + "'");
    return value;
}

double LinkerArgument::as_minuend() const {
    if (too_large || !bad_type.empty()) raise_unusable(*this, "-: '" + bad_type + "' and 'float'");
    return value;
}

namespace {

Precursor parse_header(std::string_view header, bool mz_first) {
    std::string_view items[2];
    if (split_whitespace_first(header, items, 2) < 2) throw index_error("list index out of range");
    double mz = 0.0;
    if (mz_first) mz = parse_float(items[0]);
    const std::int64_t charge = parse_int(items[1]);
    if (!mz_first) mz = parse_float(items[0]);
    return Precursor{mz, charge, mh_from_mz(mz, charge)};
}

} // namespace

Precursor parse_precursor_header(std::string_view header) { return parse_header(header, false); }

Precursor parse_parent_precursor(std::string_view header) { return parse_header(header, true); }

ScanMasses parse_scan_masses(const SpectrumRecord& record) {
    ScanMasses out;
    out.masses.reserve(record.headers.size());
    for (const std::string& entry : record.headers) {
        const Precursor p = parse_precursor_header(entry);
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
