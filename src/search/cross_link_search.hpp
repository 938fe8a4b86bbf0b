// The cross-link search of one fraction: from the spectrum and PSM tables to the map of scored
// cross-link records (find_XL_from_mgf once its inputs are read).
//
// Contract.
//
// The MS3 scans are walked in ascending scan order. Each scan not yet used by a stored record
// starts a group of the MS3 scans that carry its header list (its MS2 precursor): the scan and the
// next three when all four carry it; else up to four such scans among the 40 scan numbers from it
// (four make a four-scan group, three a three-scan group); else the scan and the next one when
// these two carry it and the scans just before and after do not. Header lists are compared whole.
//
// A group's parent is the nearest MS2 scan below its first scan (not below 0) with the same header
// list; a group without one, or with a scan missing from the msn-1 table, is dropped. Each scan's
// own precursors (its msn-1 header entries, "<m/z> <charge>") give its MH+ list; the parent's
// first header entry gives the precursor m/z, charge and MH+. Every unordered pair of the group's
// MH+ values is tested against the precursor with linker_deficit (20 ppm of the precursor MH+).
//
// When no pair matches and `ms2_rescue` is set, the group goes to Rescue_PrecMismatch_XLs
// (spec_mode 4, 3 or 2) and the non-empty keys of the map it returns are copied into the result,
// in its order. A four-scan group may then go to RescuePrecMass (when the MS2-search rescue copied
// nothing, a pair lies within +-5.5 Da and an a-scan and a b-scan are in the High+Medium table);
// on a found flag the derived precursor m/z and MH+ replace the measured ones. Any other group
// without a matching pair is dropped. Matched groups must find their MS3 precursor m/z values among
// the parent's peaks (20 ppm of the peak m/z) at least as often as masses took part in matches.
//
// Four-scan groups clear every scan none of whose masses matched, then look their peptides up in
// the High, High+Medium and all-confidence tables of the MS3 search in turn; three-scan groups
// assign the middle scan to the peptide whose arm-mass difference is linker_dm (20 ppm of it),
// two-scan groups take one peptide per scan; both read the all-confidence table. Every A x B pair
// of candidate sequences is tested against the precursor with linker_mass (20 ppm). A record is
// stored when exactly one A and one B sequence (stripped) passed, in a class that stores (four
// scans: an acceptance in the first two tables; three and two scans: "High" or "Medium"); only then
// are the group's scans marked as used. Records are the 13 tab-separated fields of a cross-link
// record; scores are the interpreter's numbers (an integer 0 where the score rules leave one).
//
// What is read leaves its traces where the driver's own tables would hold them: reading a scan
// that a PSM table lacks, where the lookup reads without asking first, adds an empty entry that
// later groups and the rescues see. uniq, Rescue_PrecMismatch_XLs and RescuePrecMass are called
// through `calls`, by name, in the order and with the arguments the driver's own module would use.
// So the acceptance's "exactly one stripped sequence" is counted two ways (DistinctBy,
// common/cross_link_record.hpp): the three- and two-scan groups pass a side's stripped sequences
// through uniq, as the driver's own module does, so a rebound uniq sees those calls; the four-scan
// groups count the distinct texts themselves, since there the driver's own module calls no module
// function, so a rebound uniq is not asked.
//
// Where the driver's own module would fail the whole call on a harmless input, the search does
// not: a scan cleared to 0 has no PSM (it is never looked up, so it inserts nothing); a scan whose
// header list is empty (or absent) starts no group; a group whose mass list the search or
// RescuePrecMass would index while it is empty is dropped; a relative test whose reference is 0
// (a precursor MH+ of 0, a peak at m/z 0, a linker_dm of 0) does not match. Everything else that
// is malformed raises the HostError the interpreter would raise (a header entry that is no
// "<float> <int>", a RescuePrecMass text without ":", a rescue that returns no map, a PSM with an
// empty confidence where its letter is written), and no map is returned.
#pragma once

#include "common/named_calls.hpp"
#include "common/number.hpp"
#include "common/psm.hpp"
#include "common/scan_table.hpp"

namespace vombrelle {

// The ten tables of one fraction, as the readers return them. The search adds the entries its
// reads insert to `psm`; it changes nothing else.
struct SearchTables {
    SpectrumTable ms1;      // MS1_dict: the DTA-zip reader's MS1 scans (a plain map)
    SearchPsmTables psm;    // the MS3 search's three tables and the rescue search's three
    SpectrumTable ms3;      // MS3_dict: MS3 scans labelled with their parent's precursor
    SpectrumTable msn1_ms3; // msn_1_MS3_dict: the same scans labelled with their own precursor
    SpectrumTable ms2;      // MS2_dict
};

// The peaks the search reads: the MS2 scans' (the signature peaks). Those of the MS3 and msn-1
// tables it never reads.
struct SearchPeaks {
    PeakStorage ms3, msn1_ms3, ms2;
};
inline constexpr SearchPeaks kSearchPeaks{PeakStorage::CheckOnly, PeakStorage::CheckOnly, PeakStorage::Keep};

// The scalar arguments of the search.
struct SearchArguments {
    bool ms2_rescue = false;    // MS2_Rescue == "YES" (exact)
    HostNumber linker_mass;     // intact cross-linker (Da)
    HostNumber linker_dm;       // long arm form minus short arm form (Da)
    HostNumber linker_deficit;  // added to two MS3 fragment MH+ to reach the precursor MH+ (Da)
};

// The fraction's cross-link records and their scores, in order of first storage.
CrossLinkScoreMap find_cross_links(SearchTables& tables, const SearchArguments& args, NamedCalls& calls);

} // namespace vombrelle
