#include "ms2_rescue/rescue_tier.hpp"

#include <algorithm>
#include <span>

#include "common/cross_link_mass.hpp"
#include "common/errors.hpp"
#include "common/host_text.hpp"

namespace vombrelle::ms2_rescue {

namespace {

// What the collection finds in the tier's tables for the four arm scans.
struct Collected {
    std::array<std::optional<std::string_view>, 4> selected;  // "selected_pep"
    std::array<std::vector<std::string_view>, 4> all;          // "pep_seq", file order, repeats kept
};

void collect(PsmMatchTable& side_a, PsmMatchTable& side_b, RescueCallState& state, Collected& out) {
    for (std::size_t i = kA1; i <= kB2; ++i) {
        PsmMatchTable& table = i <= kA2 ? side_a : side_b;
        const std::optional<std::int64_t>& key = state.keys[i];
        if (!key || !table.contains(*key)) continue;
        PsmScanEntry& entry = table.read(*key);
        if (const std::optional<std::uint32_t> row = read_selected(entry)) out.selected[i] = table.sequence(*row);
        for (std::uint32_t row : read_pep_seq(entry)) out.all[i].push_back(table.sequence(row));
        state.scans[i].found = true;
    }
}

// Every pair of X x Y: an equal pair adds its text, a pair equal when upper-cased adds both texts.
bool cross_match(std::span<const std::string_view> xs, std::span<const std::string_view> ys,
                 std::vector<std::string_view>& out) {
    bool any = false;
    for (std::string_view x : xs) {
        for (std::string_view y : ys) {
            if (x == y) {
                out.push_back(x);
                any = true;
            } else if (same_upper(x, y)) {
                out.push_back(x);
                out.push_back(y);
                any = true;
            }
        }
    }
    return any;
}

// The agreement of one side's two arm scans, from the selected sequences down to the whole
// sequence lists. Leaves the side's candidates in `out` and returns whether it has any.
bool agree(std::size_t first, const Collected& c, RescueCallState& state, std::vector<std::string_view>& out) {
    const std::size_t second = first + 1;
    const std::optional<std::string_view>& s1 = c.selected[first];
    const std::optional<std::string_view>& s2 = c.selected[second];
    if (!(state.scans[first].found && state.scans[second].found)) {
        // One arm scan known: whatever the side selected.
        if (s1) out.push_back(*s1);
        if (s2) out.push_back(*s2);
        return !out.empty();
    }
    if (s1 && s2) {
        if (*s1 == *s2) {
            out.push_back(*s1);
            return true;
        }
        if (cross_match({&*s1, 1}, {&*s2, 1}, out)) return true;
    }
    const std::vector<std::string_view>& l1 = c.all[first];
    const std::vector<std::string_view>& l2 = c.all[second];
    if (l1 == l2) {
        out = l1;
        return true;
    }
    if (cross_match(l1, l2, out)) return true;
    // One arm scan selected nothing (all its PSMs rejected, or an empty entry): trust the other,
    // even when it selected nothing either.
    if (!s1) {
        if (s2) out.push_back(*s2);
        return true;
    }
    if (!s2) {
        out.push_back(*s1);
        return true;
    }
    state.remarks.push_back(first == kA1 ? "different_pep_A_seqs" : "different_pep_B_seqs");
    return false;
}

// A candidate's values as its side's arm scans give them; the second scan overrides the first.
struct CandidateValues {
    HostNumber mass;                     // Da, "pep_mass"; the integer 0 when neither scan carries it
    const PsmRowTexts* texts = nullptr;  // of the PSM read: "ptn_accesion" and "ptn_description"
};

// `sequence in table[scan]["pep_seq"]` and, when it is, the five reads of table[scan][sequence].
// Both are the host's default-inserting reads of the caller's table.
void read_candidate(PsmMatchTable& table, const std::optional<std::int64_t>& key, std::string_view sequence,
                    ArmScanState& scan, CandidateValues& values) {
    // A scan that names no integer is a key no native table holds: the read finds an empty entry.
    if (!key) return;
    PsmScanEntry& entry = table.read(*key);
    const std::span<const std::uint32_t> rows = read_pep_seq(entry);
    bool carried = std::ranges::any_of(rows, [&](std::uint32_t row) { return table.sequence(row) == sequence; });
    // A read-made entry holds "" under "pep_seq", a text in which only "" is found.
    if (entry.made_by_read) carried = sequence.empty();
    if (!carried) return;
    const PsmRecord* record = table.find_record(entry, sequence);
    // Only an entry the reader did not build lacks the record: the host's read yields "", which
    // cannot be indexed by a key, or, from a driver's plain map, raises KeyError.
    if (record == nullptr) {
        if (!entry.keys_insert) throw key_error(std::string(sequence));
        throw type_error("string indices must be integers");
    }
    const PsmRowTexts& texts = table.texts(record->row);
    values.mass = HostNumber(record->pep_mass);
    values.texts = &texts;
    scan.confidence = texts.confidence;
    scan.qval = record->qval;
}

// The two peptides and the intact linker against the measured precursor MH+. The host's numbers
// meet floats here (the MH+ of "pep_mass", the proton), so the sums are the doubles' sums; an
// unread mass is the integer 0.
bool pair_matches(const RescueBuilderRequest& r, HostNumber mass_a, HostNumber mass_b) {
    return pair_explains(r.ms2_mass.as_double(), mass_a.as_double(), mass_b.as_double(), r.linker_mass.as_double());
}

void pair_candidates(const RescueBuilderRequest& r, PsmMatchTable& side_a, PsmMatchTable& side_b,
                     std::span<const std::string_view> a_candidates, std::span<const std::string_view> b_candidates,
                     RescueCallState& state, PeptideFields& pairs) {
    for (std::string_view a_seq : a_candidates) {
        CandidateValues a;
        read_candidate(side_a, state.keys[kA1], a_seq, state.scans[kA1], a);
        read_candidate(side_a, state.keys[kA2], a_seq, state.scans[kA2], a);
        // No early exit: every pair is tested, and every test reads side B's scans again.
        for (std::string_view b_seq : b_candidates) {
            CandidateValues b;
            read_candidate(side_b, state.keys[kB1], b_seq, state.scans[kB1], b);
            read_candidate(side_b, state.keys[kB2], b_seq, state.scans[kB2], b);
            if (!pair_matches(r, a.mass, b.mass)) continue;
            pairs.add_pair(a_seq, b_seq, a.texts, b.texts);
            for (std::size_t i = kA1; i <= kB2; ++i) state.pair_qvals[i] = state.scans[i].qval;
            state.matched = true;
        }
    }
}

bool known_side(const PsmMatchTable& table, const std::optional<std::int64_t>& first,
                const std::optional<std::int64_t>& second) {
    return (first && table.contains(*first)) || (second && table.contains(*second));
}

} // namespace

bool run_rescue_tier(const RescueBuilderRequest& request, PsmMatchTable& side_a, PsmMatchTable& side_b,
                     RescueCallState& state, PeptideFields& pairs, NamedCalls& calls) {
    if (!(known_side(side_a, state.keys[kA1], state.keys[kA2]) &&
          known_side(side_b, state.keys[kB1], state.keys[kB2]))) {
        return false;
    }
    Collected collected;
    collect(side_a, side_b, state, collected);
    std::vector<std::string_view> a_candidates, b_candidates;
    const bool a_flag = agree(kA1, collected, state, a_candidates);
    const bool b_flag = agree(kB1, collected, state, b_candidates);
    calls.uniq(a_candidates);
    calls.uniq(b_candidates);

    pairs.clear();
    if (!(a_flag && b_flag)) return true;
    pair_candidates(request, side_a, side_b, a_candidates, b_candidates, state, pairs);
    pairs.make_distinct(calls);
    return true;
}

} // namespace vombrelle::ms2_rescue
