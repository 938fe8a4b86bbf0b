#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/arm_scan_tiers.hpp"
#include "common/errors.hpp"
#include "psm_rows.hpp"
#include "search/native_calls.hpp"

namespace vombrelle::test {
namespace {

// Notes every uniq input; the tiers call nothing else.
struct UniqInputs : NativeCalls {
    void uniq(std::vector<std::string_view>& items) override {
        inputs.emplace_back(items.begin(), items.end());
        NativeCalls::uniq(items);
    }
    std::vector<std::vector<std::string>> inputs;
};

// A 1000.5 Da and B 1200.25 Da with the 158 Da linker make this MH+ exactly.
constexpr double kMh = 2357.742175, kLinker = 158.0;
constexpr double kA = 1000.5, kB = 1200.25;

// What one tier did with side A.
struct Outcome {
    std::optional<std::vector<std::string>> candidates;  // A's uniq input; none: uniq was not called
    bool paired = false;                                 // the pairing ran (its six uniq calls followed)
    bool remarked = false;

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << (o.candidates ? "[" : "no uniq");
    for (const std::string& c : o.candidates.value_or(std::vector<std::string>{})) out << c << " ";
    if (o.candidates) out << "]";
    return out << (o.paired ? " paired" : "") << (o.remarked ? " remarked" : "");
}

// One tier on side A's table (a1 = 51, a2 = 52) and side B's (b1 = 53 and b2 = 54 both selecting
// PEPkB, so that B agrees under every rule set).
Outcome run_on_side_a(const TierRules& rules, PsmRows& rows, PsmMatchTable& side_a) {
    PsmMatchTable side_b = rows.table();
    rows.add(side_b, 53, {"PEPkB", kB});
    rows.add(side_b, 54, {"PEPkB", kB});
    ArmScanTiers tiers;
    tiers.start({51, 52, 53, 54});
    UniqInputs calls;
    tiers.run_tier(side_a, side_b, rules, kMh, kLinker, calls);
    Outcome out;
    if (!calls.inputs.empty()) out.candidates = calls.inputs[0];
    out.paired = calls.inputs.size() == 8;
    out.remarked = !tiers.remarks().empty();
    return out;
}

using Psms = std::vector<Psm>;
Outcome run_tier(const TierRules& rules, const Psms& a1, const std::optional<Psms>& a2) {
    PsmRows rows;
    PsmMatchTable side_a = rows.table();
    side_a.scans[51];
    for (const Psm& p : a1) rows.add(side_a, 51, p);
    if (a2) {
        side_a.scans[52];
        for (const Psm& p : *a2) rows.add(side_a, 52, p);
    }
    return run_on_side_a(rules, rows, side_a);
}

// Each side's two arm scans agree from their selections down to their whole lists; the rule sets
// differ in a lone scan, in empty lists, in what follows when the lists disagree and in stripping.
TEST(ArmScanTiers, ArmScansAgreeUnderEachRuleSet) {
    using V = std::vector<std::string>;
    const Psm x{"PEPkX", kA}, y{"PEPkY", kA}, z{"PEPkZ", kA};
    const Psm x_rejected{"PEPkX", kA, 0.995, "High", "P1", "", true}, z_rejected{"PEPkZ", kA, 0.995, "High", "P1", "", true};
    const Outcome none{};  // uniq never called: the all-confidence tier needs candidates on both sides first
    auto paired = [](V c) { return Outcome{c, true, false}; };
    auto refused = [](V c, bool remarked = false) { return Outcome{c, false, remarked}; };
    struct Row {
        const char* name;
        Psms a1;
        std::optional<Psms> a2;  // nullopt: not a key of the table
        Outcome rescue, search, search_all;
    };
    const std::vector<Row> rows = {
        {"same selection", {x, y}, Psms{x}, paired({"PEPkX"}), paired({"PEPkX"}), paired({"PEPkX"})},
        {"selections differ in case", {x}, Psms{{"pepkx", kA}}, paired({"PEPkX", "pepkx"}),
         paired({"PEPkX", "pepkx"}), paired({"PEPkX", "pepkx"})},
        {"equal in upper case beyond ASCII", {{"PEPk\xC3\x9F", kA}}, Psms{{"PEPKSS", kA}},
         paired({"PEPk\xC3\x9F", "PEPKSS"}), paired({"PEPk\xC3\x9F", "PEPKSS"}), paired({"PEPk\xC3\x9F", "PEPKSS"})},
        {"equal whole lists", {x, y}, Psms{x_rejected, y}, paired({"PEPkX", "PEPkY"}), paired({"PEPkX", "PEPkY"}),
         paired({"PEPkX", "PEPkY"})},
        {"shared sequences, once per match", {x, y}, Psms{z, y, y}, paired({"PEPkY", "PEPkY"}),
         paired({"PEPkY", "PEPkY"}), paired({"PEPkY", "PEPkY"})},
        {"no sequences on either scan", {}, Psms{}, paired({}), refused({}), none},
        {"a1 selects nothing", {x_rejected}, Psms{z}, paired({"PEPkZ"}), refused({}), paired({"PEPkZ"})},
        {"neither selects", {x_rejected}, Psms{z_rejected}, paired({}), refused({}), none},
        {"a2 selects nothing", {x}, Psms{z_rejected}, paired({"PEPkX"}), refused({}), paired({"PEPkX"})},
        {"disagreement", {x}, Psms{z}, refused({}, true), refused({}, true), none},
        {"a Low selection is not confident", {{"PEPkX", kA, 0.5, "Low"}}, Psms{z}, refused({}, true),
         refused({}, true), paired({"PEPkZ"})},
        {"a2 unknown", {x}, std::nullopt, paired({"PEPkX"}), paired({"PEPkX"}), none},
        {"a2 unknown, a1 selects nothing", {x_rejected}, std::nullopt, refused({}), refused({}), none},
        {"surrounding white space", {{"PEPkX ", kA}}, Psms{{"PEPkX ", kA}}, paired({"PEPkX "}), paired({"PEPkX "}),
         paired({"PEPkX"})},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(run_tier(kRescueTier, r.a1, r.a2), r.rescue) << r.name;
        EXPECT_EQ(run_tier(kSearchTier, r.a1, r.a2), r.search) << r.name;
        EXPECT_EQ(run_tier(kSearchAllTier, r.a1, r.a2), r.search_all) << r.name;
    }
}

// A driver's own entries may select a sequence their "pep_seq" does not list. Two such arm scans
// selecting different peptides have equal, empty lists: where those agree, the side agrees on no
// candidate; where they do not, the disagreement is remarked.
TEST(ArmScanTiers, DifferentSelectionsBesideEmptyLists) {
    const Outcome rescue{std::vector<std::string>{}, true, false};
    const Outcome search{std::vector<std::string>{}, false, true};
    const Outcome search_all{};  // no candidates: the all-confidence tier calls no uniq
    for (const auto& [rules, expected] : {std::pair{&kRescueTier, rescue}, std::pair{&kSearchTier, search},
                                          std::pair{&kSearchAllTier, search_all}}) {
        PsmRows rows;
        PsmMatchTable side_a = rows.table();
        rows.add(side_a, 51, {"PEPkX", kA});
        rows.add(side_a, 52, {"PEPkZ", kA});
        side_a.scans[51].pep_seq.clear();
        side_a.scans[52].pep_seq.clear();
        EXPECT_EQ(run_on_side_a(*rules, rows, side_a), expected);
    }
}

// a2 lists a1's selection but holds no record of it, as only a driver's own table can: the search
// reads the record if there is one, the rescued builder takes a listed sequence to have one and
// fails as the host's read of it would. The empty sequence is "listed" in the entry a read made.
TEST(ArmScanTiers, CandidateReadsPerRuleSet) {
    enum class A2 { ListedWithoutRecord, PlainMapListedWithoutRecord, MadeByRead };
    struct Row {
        A2 a2;
        std::string_view sequence;
        const TierRules* rules;
        std::optional<ErrorKind> error;
    };
    for (const Row& r : {Row{A2::ListedWithoutRecord, "PEPkA", &kSearchTier, std::nullopt},
                         Row{A2::ListedWithoutRecord, "PEPkA", &kRescueTier, ErrorKind::Type},
                         Row{A2::PlainMapListedWithoutRecord, "PEPkA", &kRescueTier, ErrorKind::Key},
                         Row{A2::MadeByRead, "PEPkA", &kRescueTier, std::nullopt},
                         Row{A2::MadeByRead, "", &kSearchTier, std::nullopt},
                         Row{A2::MadeByRead, "", &kRescueTier, ErrorKind::Type}}) {
        PsmRows rows;
        PsmMatchTable side_a = rows.table(), side_b = rows.table();
        rows.add(side_a, 51, {r.sequence, kA});
        if (r.a2 != A2::MadeByRead) {
            PsmScanEntry& a2 = side_a.scans[52];
            a2.pep_seq = side_a.scans.find(51)->pep_seq;
            a2.selected_text = true;
            a2.keys_insert = r.a2 == A2::ListedWithoutRecord;
        }
        rows.add(side_b, 53, {"PEPkB", kB});
        ArmScanTiers tiers;
        tiers.start({51, 52, 53, 54});
        UniqInputs calls;
        try {
            EXPECT_TRUE(tiers.run_tier(side_a, side_b, *r.rules, kMh, kLinker, calls));
            EXPECT_FALSE(r.error) << static_cast<int>(r.a2);
            EXPECT_EQ(tiers.confidences()[kA2], kNoConfidence);
        } catch (const HostError& e) {
            EXPECT_EQ(std::optional(e.kind()), r.error) << static_cast<int>(r.a2);
        }
    }
}

} // namespace
} // namespace vombrelle::test
