// The peptide lookup of four arm scans through confidence tiers of PSM tables: scans a1 and a2
// carry peptide A in its two arm forms, b1 and b2 peptide B. The four-scan search and the rescued
// cross-link builder look their peptides up alike. They differ in the tables a tier reads (the
// search reads both sides from one table of the MS3 search; the builder reads A there and B in
// the rescue search's table) and in the rules of their tiers, named side by side below.
//
// A tier opens when an arm scan of each side is a key of its side's table (each_side_has_a_scan,
// common/psm.hpp); a closed tier reads nothing and calls nothing. An open tier
//   1. collects every arm scan its table holds, in the order a1, a2, b1, b2: the scan's
//      "selected_pep", then its "pep_seq";
//   2. agrees each side's two arm scans on the side's candidates: a side of which one arm scan has
//      been found takes that scan's selection; otherwise equal selections agree, then the whole
//      lists (common/sequence_agreement.hpp), then the rules' fallback;
//   3. passes both candidate lists through uniq, by name;
//   4. when both sides agreed, pairs every A candidate with every B candidate. A's two scans are read
//      once per A candidate and B's once per pair, the second scan's PSM taking the place of the
//      first's; a pair is accepted when the PSMs' masses and the intact linker explain the
//      precursor MH+ (common/cross_link_mass.hpp). The accepted pairs' fields are then made
//      distinct through uniq (PeptideFields), whether or not any pair was accepted.
// The pairing reads scan entries without asking first: a scan a table lacks gets an empty entry
// there, which later reads, later groups and the caller see. A scan the caller gives no key is
// never read.
//
// What a tier learns carries over to the later tiers of the same lookup: a scan found in any tier
// counts as found, and each scan's confidence and q-value stay those of the last PSM read from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/cross_link_record.hpp"
#include "common/named_calls.hpp"
#include "common/number.hpp"
#include "common/psm.hpp"
#include "common/sequence_agreement.hpp"

namespace vombrelle {

// Positions of the four arm scans in every per-scan array.
enum ArmScanSlot : std::size_t { kA1, kA2, kB1, kB2 };

// The remarks of a side whose two arm scans selected different peptides.
inline constexpr std::string_view kDifferentASeqs = "different_pep_A_seqs";
inline constexpr std::string_view kDifferentBSeqs = "different_pep_B_seqs";

struct TierRules {
    // A side of which only one arm scan has been found takes that scan's selection.
    bool lone_scan_speaks;
    // Two arm scans whose sequence lists are both empty agree (on no candidate).
    bool empty_lists_agree;
    // When neither the selections nor the whole lists agree. Under Disagree and SelectingScan a side
    // whose two scans both selected a sequence is remarked.
    enum class Fallback {
        Disagree,             // the side disagrees
        SelectingScan,        // a scan that selected nothing defers to the other: the side agrees on
                              // the other's selection, or on nothing when neither selected
        ConfidentSelections,  // the scans' High and Medium selections decide (agree_on_confident_sequences)
    } fallback;
    // The candidates are stripped of surrounding white space, and uniq is called only when both
    // sides agreed on some; otherwise uniq comes first and the agreement is checked after.
    bool stripped_candidates;
    // How the pairing reads a candidate's PSM in an arm scan.
    enum class CandidateRead {
        RecordIfAny,  // entry["pep_seq"], then the candidate's record when the entry has one (read_psm)
        ListedFirst,  // `candidate in entry["pep_seq"]`, and only then entry[candidate], which must be
                      // a record: a driver's plain map lacking it raises KeyError, an entry holding
                      // the empty text TypeError (a read-made entry "lists" only the empty text)
    } read;
};

// The four-scan search's High and High+Medium tiers.
inline constexpr TierRules kSearchTier{true, false, TierRules::Fallback::Disagree, false,
                                       TierRules::CandidateRead::RecordIfAny};
// The four-scan search's tier of all confidences.
inline constexpr TierRules kSearchAllTier{false, true, TierRules::Fallback::ConfidentSelections, true,
                                          TierRules::CandidateRead::RecordIfAny};
// The rescued builder's High and High+Medium tiers.
inline constexpr TierRules kRescueTier{true, true, TierRules::Fallback::SelectingScan, false,
                                       TierRules::CandidateRead::ListedFirst};

class ArmScanTiers {
public:
    // Starts a lookup of the four arm scans, given as table keys in the order a1, a2, b1, b2 (none:
    // a scan no table holds, or one the caller leaves out). Forgets the previous lookup.
    void start(const std::array<std::optional<std::int64_t>, 4>& keys);

    // Runs one tier on `side_a` (a1, a2) and `side_b` (b1, b2). Returns whether it accepted a
    // pair; pairs() and pair_qvals() then describe its pairs.
    bool run_tier(PsmMatchTable& side_a, PsmMatchTable& side_b, const TierRules& rules, double precursor_mh,
                  double linker_mass, NamedCalls& calls);

    const PeptideFields& pairs() const { return pairs_; }
    // Per scan a1, a2, b1, b2: the q-value as it stood at the latest accepted pair.
    const std::array<HostNumber, 4>& pair_qvals() const { return pair_qvals_; }
    // Per scan: the confidence of the last PSM read from it, kNoConfidence while none was.
    const std::array<std::string_view, 4>& confidences() const { return confidence_; }
    // kDifferentASeqs and kDifferentBSeqs as the tiers met them, repeats kept.
    const std::vector<std::string_view>& remarks() const { return remarks_; }

private:
    // A candidate's PSM as its side's arm scans give it.
    struct Candidate {
        double mass = 0.0;                   // "pep_mass" (Da); 0 when neither scan has the PSM
        const PsmRowTexts* texts = nullptr;  // its proteins
    };

    void collect(PsmMatchTable& side_a, PsmMatchTable& side_b);
    bool agree(std::size_t side, const PsmMatchTable& table, const TierRules& rules);
    bool pair(PsmMatchTable& side_a, PsmMatchTable& side_b, const TierRules& rules, double precursor_mh,
              double linker_mass);
    Candidate read_candidate(PsmMatchTable& table, std::size_t first_scan, std::string_view sequence,
                             TierRules::CandidateRead read);

    // The lookup, carried from tier to tier.
    std::array<std::optional<std::int64_t>, 4> keys_;
    std::array<bool, 4> found_{};
    std::array<std::string_view, 4> confidence_{};
    std::array<HostNumber, 4> qval_{};  // the integer 0 until a PSM is read
    std::vector<std::string_view> remarks_;

    // One tier's view: each scan's selection (none or one) and whole list, each side's candidates.
    std::array<SequenceList, 4> selected_, all_;
    std::array<SequenceList, 2> candidates_, confident_;

    PeptideFields pairs_;
    std::array<HostNumber, 4> pair_qvals_{};
};

} // namespace vombrelle
