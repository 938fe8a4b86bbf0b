// Precursor re-check: keeps the cross-link records whose stated precursor MH+ (record field 3)
// agrees, within a tolerance in ppm, with the MH+ rebuilt from the record's first peptide A and
// first peptide B sequences and the intact linker. Kept records are tagged with their fraction
// label and come back best score first (the FractionScoreMap the pair consolidation reads).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_operand.hpp"
#include "common/number.hpp"
#include "results/item_faults.hpp"
#include "results/score_order.hpp"
#include "results/upper_limit.hpp"

namespace vombrelle {

// Where residue and atom masses come from. Lookups happen in the order the check reads them, so
// that a missing key is reported for the first record and character that needs it. A missing
// key raises the host's key error naming it. A value that is no number comes back as a foreign
// operand and fails where the arithmetic meets it, as the host's type error.
class MassLookup {
public:
    virtual ~MassLookup() = default;
    // Mass in Da that one character (one code point, as UTF-8) of a sequence adds.
    virtual HostOperand residue(std::string_view character) = 0;
    // Atom mass in Da under "mm_H" or "mm_O".
    virtual HostOperand atom(std::string_view key) = 0;
    // A peptide's 2*H + O + H (water_and_proton below), computed with the core's numbers. A caller
    // that holds the host's own arithmetic computes it there when "mm_H" is no number the core
    // holds: the host multiplies such a value by its own rules (a text or a list is repeated) and
    // fails only where a number is added to it.
    virtual HostOperand water_and_proton();
};

// "mm_H" times 2, plus "mm_O", plus "mm_H" again, from left to right, each atom read (`atom`)
// where the sum needs it: written once for the core's numbers and the host's own objects.
template <class ReadAtom>
auto water_and_proton(ReadAtom&& atom) {
    auto sum = atom("mm_H") * 2;
    sum = sum + atom("mm_O");
    return sum + atom("mm_H");
}

// The same with the core's numbers, "mm_H" read for it already (`mm_h`).
HostNumber water_and_proton(const HostOperand& mm_h, MassLookup& masses);

struct PrecursorCheck {
    HostOperand linker_mass;  // Da, the intact cross-linker
    UpperLimit tolerance_ppm;
};

// Singly protonated peptide mass: the residues added one by one to the integer 0, then
// 2*H + O + H, rounded to 5 decimals (an all-integer sum stays an integer).
HostNumber peptide_mh(std::string_view sequence, MassLookup& masses);

// True when the record passes the check. Raises the host's index error for a record of fewer
// than 10 fields and the value error of float() for a field 3 that is no number; a field 3 that
// is not a positive finite mass makes no sense as a divisor and fails the record.
bool precursor_matches(std::string_view record, MassLookup& masses, const PrecursorCheck& check);

// The positions of the records that pass, best score first (equal scores in input order). The
// records are checked in that order, so the first faulty one in score order raises, a key in
// `faults` among them.
std::vector<std::size_t> filter_pep_pair(std::span<const std::string_view> records, const ItemFaults& faults,
                                         std::span<const HostOperand> scores, MassLookup& masses,
                                         const PrecursorCheck& check, const DescendingSort& fallback = {});

// The FractionScoreMap key of a kept record: the record text unchanged, a tab and the label.
std::string fraction_key(std::string_view record, std::string_view label);

} // namespace vombrelle
