#include "results/precursor_recheck.hpp"

#include <cmath>
#include <utility>

#include "common/cross_link_record.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"
#include "common/interruption.hpp"
#include "common/tolerance.hpp"

namespace vombrelle {

namespace {

HostNumber round5(HostNumber x) { return x.is_int() ? x : HostNumber(round_to(x.as_double(), 5)); }

// An atom's mass in the core's sum: each operation fails as the host's would (HostOperand).
struct AtomMass {
    HostOperand mass;
};
HostNumber operator*(const AtomMass& atom, int factor) { return atom.mass.left_of("*", factor); }
HostNumber operator+(HostNumber sum, const AtomMass& atom) { return atom.mass.right_of("+", sum); }

} // namespace

HostNumber water_and_proton(const HostOperand& mm_h, MassLookup& masses) {
    bool first = true;
    return water_and_proton([&](std::string_view key) {
        if (std::exchange(first, false)) return AtomMass{mm_h};
        return AtomMass{masses.atom(key)};
    });
}

HostOperand MassLookup::water_and_proton() {
    return HostOperand::of(vombrelle::water_and_proton(atom("mm_H"), *this));
}

HostNumber peptide_mh(std::string_view sequence, MassLookup& masses) {
    HostNumber residues_sum = 0;
    for (std::size_t i = 0; i < sequence.size();) {
        std::size_t n = std::min(utf8_length(static_cast<unsigned char>(sequence[i])), sequence.size() - i);
        residues_sum = masses.residue(sequence.substr(i, n)).right_of("+", residues_sum);
        i += n;
    }
    return round5(masses.water_and_proton().right_of("+", residues_sum));
}

bool precursor_matches(std::string_view record, MassLookup& masses, const PrecursorCheck& check) {
    std::vector<std::string_view> fields = split(record, "\t");
    if (fields.size() <= record_field::kPeptideB) throw index_error("list index out of range");
    const std::string_view pep_a = strip(first_alternative(strip(fields[record_field::kPeptideA])));
    const std::string_view pep_b = strip(first_alternative(strip(fields[record_field::kPeptideB])));

    const HostNumber pep_a_mass = peptide_mh(pep_a, masses);
    const HostNumber pep_b_mass = peptide_mh(pep_b, masses);
    const double ms2_mass = parse_float(strip(fields[record_field::kPrecursorMh]));
    const HostNumber with_linker = check.linker_mass.right_of("+", pep_a_mass + pep_b_mass);
    const HostNumber expected = masses.atom("mm_H").right_of("-", with_linker);
    // The stated mass is the divisor of the relative error: zero, a negative or an infinite mass
    // would make every record fail the whole call or pass whatever its peptides weigh. It is
    // judged after the expected mass, whose reads (and their failures) every record makes.
    if (!(std::isfinite(ms2_mass) && ms2_mass > 0.0)) return false;
    return check.tolerance_ppm.admits(ppm_error(std::fabs(ms2_mass - expected.as_double()), ms2_mass));
}

std::vector<std::size_t> filter_pep_pair(std::span<const std::string_view> records, const ItemFaults& faults,
                                         std::span<const HostOperand> scores, MassLookup& masses,
                                         const PrecursorCheck& check, const DescendingSort& fallback) {
    std::vector<std::size_t> kept;
    for (std::size_t i : descending_score_order(scores, fallback)) {
        interruption_point();
        faults.raise_if_at(i);
        if (precursor_matches(records[i], masses, check)) kept.push_back(i);
    }
    return kept;
}

std::string fraction_key(std::string_view record, std::string_view label) {
    std::string key;
    key.reserve(record.size() + 1 + label.size());
    key.append(record).append(1, '\t').append(label);
    return key;
}

} // namespace vombrelle
