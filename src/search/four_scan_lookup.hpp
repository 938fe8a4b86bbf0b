// The peptide lookup of a four-scan group: scans a1 and a2 are peptide A's two arm forms, b1 and
// b2 peptide B's. The MS3 search's tables are tried from the strictest to the most permissive
// (High; High and Medium; all confidences), each tier only when no earlier one accepted a pairing:
// the two scans of each peptide must agree on its sequences, then every A x B pair of candidates
// is tested against the precursor MH+ with the intact linker (20 ppm).
//
// What a tier reads carries over to the next: the scans found in any tier count as present, and
// each scan's confidence and q-value stay those of the last PSM read from it, in whichever tier.
// The pairing reads the four scan entries without asking first, so a scan a table lacks gets an
// empty entry there that later groups and the rescues see (a cleared scan has no PSM and is never
// read). A pairing accepted only in the all-confidence tier yields no record: that tier is run for
// the entries its reads insert and the uniq calls it makes.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/cross_link_record.hpp"
#include "common/named_calls.hpp"
#include "common/number.hpp"
#include "common/psm.hpp"
#include "common/sequence_agreement.hpp"

namespace vombrelle::search {

// A group's scans in the order a1, a2, b1, b2. A cleared scan had no mass in a match.
struct FourScans {
    std::array<std::int64_t, 4> number{};
    std::array<bool, 4> cleared{};
};

class FourScanLookup {
public:
    FourScanLookup(PsmTables& ms3_tables, NamedCalls& calls) : tables_(ms3_tables), calls_(calls) {}

    // Runs the tiers for one group. True when the High or the High and Medium tier accepted a
    // pairing; the accessors below then describe it.
    bool run(const FourScans& scans, double precursor_mh, double linker_mass);

    // The accepted pairings' fields, each list reduced by uniq.
    const PeptideFields& peptides() const { return peptides_; }
    // Per scan a1, a2, b1, b2: the confidence of its last PSM read, "_" when none was.
    const std::array<std::string_view, 4>& confidences() const { return confidence_; }
    // The q-values of A's and of B's two scans as they stood at the last accepted pairing.
    const std::array<HostNumber, 2>& a_qvals() const { return accepted_a_qvals_; }
    const std::array<HostNumber, 2>& b_qvals() const { return accepted_b_qvals_; }
    // "different_pep_A_seqs", "different_pep_B_seqs", as the tiers found them (repeats kept).
    const std::vector<std::string_view>& remarks() const { return remarks_; }

private:
    enum Tier : std::size_t { kHigh = 0, kMedHigh = 1, kAll = 2 };

    bool run_tier(Tier tier);
    bool present(const PsmMatchTable& table, std::size_t scan) const {
        return !scans_.cleared[scan] && table.contains(scans_.number[scan]);
    }
    void collect(PsmMatchTable& table);
    bool agree(const PsmMatchTable& table, std::size_t side, Tier tier);
    bool pair(PsmMatchTable& table);
    // T[scan]["pep_seq"] read as the host reads it, then the record of `sequence` there.
    const PsmRecord* read_record(PsmMatchTable& table, std::size_t scan, std::string_view sequence);

    PsmTables& tables_;
    NamedCalls& calls_;

    FourScans scans_;
    double precursor_mh_ = 0.0;
    double linker_mass_ = 0.0;

    // Carried from tier to tier within the group.
    std::array<bool, 4> found_{};
    std::array<std::string_view, 4> confidence_{};
    std::array<HostNumber, 4> qval_{};
    std::vector<std::string_view> remarks_;

    // One tier's view: selected and all sequences per scan, selections per side, candidates.
    std::array<SequenceList, 4> selected_;
    std::array<SequenceList, 4> all_;
    std::array<SequenceList, 2> side_selected_;
    std::array<SequenceList, 2> candidates_;
    std::array<bool, 2> agreed_{};
    SequenceList confident_[2];

    PeptideFields peptides_;
    std::array<HostNumber, 2> accepted_a_qvals_{};
    std::array<HostNumber, 2> accepted_b_qvals_{};
};

} // namespace vombrelle::search
