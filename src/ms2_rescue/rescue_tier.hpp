// One confidence tier of the rescued cross-link builder: the gate, the collection of the four arm
// scans' sequences, the agreement of each side's two arm scans, the pairing of the two sides'
// candidates against the precursor MH+ and the q-values of the matched pairs.
//
// Side A (scans a1, a2) is read from the MS3 search's table of the tier, side B (b1, b2) from the
// rescue-spectra search's. The tables are the caller's: reading a scan's sequences during the
// pairing is the host's default-inserting read, so a scan the table lacks gets an empty entry there.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/cross_link_record.hpp"
#include "common/named_calls.hpp"
#include "common/number.hpp"
#include "common/psm.hpp"

namespace vombrelle::ms2_rescue {

// Positions of the four arm scans in every per-scan array.
enum ArmScan : std::size_t { kA1, kA2, kB1, kB2 };

// What the builder learns of one arm scan over the whole call (never reset between tiers).
struct ArmScanState {
    std::string_view confidence = kNoConfidence;  // of the PSM most recently read from the scan
    HostNumber qval;                     // likewise; the integer 0 until one is read
    bool found = false;                  // a key of the tier's table, in this tier or an earlier one
};

// The state one builder call carries through its tiers.
struct RescueCallState {
    std::array<ArmScanState, 4> scans;
    std::array<std::optional<std::int64_t>, 4> keys;  // the scans as table keys (common/scan_key.hpp)
    bool matched = false;                             // a pair matched in some tier; never back
    // Of the latest matched pair: the four scans' q-values (a1, a2 | b1, b2), as they stood then.
    std::array<HostNumber, 4> pair_qvals;
    std::vector<std::string_view> remarks;            // "different_pep_A_seqs", "different_pep_B_seqs"
};

// Runs one tier on `side_a` and `side_b`. False when its gate fails (neither arm scan of a side is
// a key of its table), which changes nothing. Otherwise `pairs` is refilled with this tier's
// matched pairs, each field de-duplicated in first-seen order (empty when none matched), and
// `state` updated.
bool run_rescue_tier(const RescueBuilderRequest& request, PsmMatchTable& side_a, PsmMatchTable& side_b,
                     RescueCallState& state, PeptideFields& pairs, NamedCalls& calls);

} // namespace vombrelle::ms2_rescue
