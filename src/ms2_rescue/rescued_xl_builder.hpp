// The rescued cross-link builder (Vombrelle_FindXLs_MS2Rescue): one cross-link for one assignment
// of an MS3 group's scans to two peptides, peptide A (scans a1, a2) from the MS3 search's PSM tables
// and peptide B (scans b1, b2) from those of the search of the rescue spectra (the MS3 spectra
// searched again under a derived precursor).
//
// Tier 1 reads the High tables; tier 2 the High and Medium tables, only while tier 1 matched no pair.
// A tier (common/arm_scan_tiers.hpp, under kRescueTier) runs when each side has an arm scan in its
// table, agrees the two arm scans of each side into candidates (remarked kDifferentASeqs or
// kDifferentBSeqs when a side's scans disagree) and pairs every A candidate with every B
// candidate whose masses and the intact linker make the precursor MH+ within 20 ppm. A record is
// built when the matching tier gives exactly one A and one B sequence (ignoring surrounding white
// space); otherwise the result is ("", 0) with the integer 0.
//
// The record is the 13-field CrossLinkRecord: class ("High", "Medium", "Low", "Very_low"), the four
// scans' confidence letters ("_" for a scan never read), the scan string "a1:a2:b1':b2',MS2" (b'
// as a rescued record shows a side-B scan, common/rescue_scan_labels.hpp), MH+, charge, m/z, the A
// and B sequences, accessions and descriptions, and the remarks ending in "MS2_Rescued_XL". Its
// score is the sum of the four q-values, times 20, 10, 8, 4 or 2 by the class rules; it keeps the
// host's number type (the integer 0 when every q-value is the integer 0).
//
// Numbers are the host's (common/number.hpp); scan numbers name table keys as common/scan_key.hpp
// says. The tables are the caller's: the builder's reads insert empty entries as the host's would.
// Failures are the host's: a charge of 0 on an accepted call raises ZeroDivisionError; an empty
// confidence text, IndexError. A precursor MH+ of 0 matches no pair.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/named_calls.hpp"
#include "common/psm.hpp"

namespace vombrelle {

// The table keys a call can read, per search: the builder reads its a1, a2 in the MS3 search's
// tables and its b1, b2 in the rescue search's, only in the tiers' tables (High; High and Medium).
// The tables of all confidences are passed along and never read. A scan that names no integer is
// a key of no table.
struct PsmReads {
    std::vector<std::int64_t> ms3;
    std::vector<std::int64_t> rescue;

    // Whether the table at position `confidence` of a PsmTables (0 High, 1 High and Medium, 2 all)
    // is read at all.
    static constexpr bool reads_table(std::size_t confidence) { return confidence < 2; }
};
void add_builder_reads(const std::array<HostNumber, 4>& scans, PsmReads& reads);

// Vombrelle_FindXLs_MS2Rescue. `calls` provides uniq.
RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& request, SearchPsmTables& tables,
                                        NamedCalls& calls);

} // namespace vombrelle
