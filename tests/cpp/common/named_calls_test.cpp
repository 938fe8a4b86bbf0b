#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "call_recorder.hpp"
#include "common/named_calls.hpp"
#include "ms2_rescue/rescue_dispatch.hpp"

namespace vombrelle {
namespace {

std::vector<ModuleCall> members(CallSet set) {
    std::vector<ModuleCall> out;
    for (std::size_t c = 0; c < kModuleCalls; ++c) {
        if (set.contains(static_cast<ModuleCall>(c))) out.push_back(static_cast<ModuleCall>(c));
    }
    return out;
}

TEST(NamedCalls, TheCallTableNamesWhatEachCoreReaches) {
    EXPECT_STREQ(call_name(ModuleCall::Uniq), "uniq");
    EXPECT_STREQ(call_name(ModuleCall::RescuePrecMismatch), "Rescue_PrecMismatch_XLs");
    EXPECT_STREQ(call_name(ModuleCall::FindXlsMs2Rescue), "Vombrelle_FindXLs_MS2Rescue");
    EXPECT_STREQ(call_name(ModuleCall::RescuePrecMass), "RescuePrecMass");
    using enum ModuleCall;
    EXPECT_EQ(members(reachable(kSearchCalls)),
              (std::vector<ModuleCall>{Uniq, RescuePrecMismatch, FindXlsMs2Rescue, RescuePrecMass}));
    EXPECT_EQ(members(reachable(calls_made_by(RescuePrecMismatch))), (std::vector<ModuleCall>{Uniq, FindXlsMs2Rescue}));
    EXPECT_EQ(members(reachable(calls_made_by(FindXlsMs2Rescue))), (std::vector<ModuleCall>{Uniq}));
    EXPECT_TRUE(members(reachable(calls_made_by(Uniq))).empty());
}

// A's PSM in the MS3 search's High tables, B's in the rescue search's: 1000.5 + 1200.25 + 158 Da
// make the precursor MH+ 2357.742175 with the proton.
SearchPsmTables matching_pair() {
    auto rows = std::make_shared<PsmRowStore>();
    SearchPsmTables t;
    for (PsmTables* search : {&t.ms3, &t.rescue}) {
        for (std::size_t i = 0; i < 3; ++i) (*search)[i] = PsmMatchTable(rows);
    }
    auto add = [&](PsmMatchTable& table, std::int64_t scan, std::string_view seq, double mass) {
        PsmScanEntry& e = table.scans[scan];
        const std::uint32_t row = rows->add(seq, "P1", "d1", "High");
        e.pep_seq.push_back(row);
        e.records.push_back(PsmRecord{row, 0, mass, 0.995});
        e.selected = row;
    };
    add(t.ms3.high, 51, "PEPkA", 1000.5);
    add(t.rescue.high, 53, "PEPkB", 1200.25);
    return t;
}

// Every call a core makes by name is one the table lets it reach, so the binding's question
// "are all of these still the module's own?" covers every call.
TEST(NamedCalls, TheRescuesCallOnlyWhatTheTableNames) {
    SearchPsmTables tables = matching_pair();
    CallRecorder calls;
    const MismatchRescueRequest dispatch{4, {}, {51, 52, 53, 54}, 50, 2357.742175, 3, 158.0, 0};
    ASSERT_TRUE(rescue_prec_mismatch(dispatch, tables, calls));
    const CallSet dispatcher = reachable(calls_made_by(ModuleCall::RescuePrecMismatch));
    // The builder found the pair and reduced its fields through uniq.
    EXPECT_NE(std::find(calls.made.begin(), calls.made.end(), ModuleCall::Uniq), calls.made.end());
    for (const ModuleCall made : calls.made) EXPECT_TRUE(dispatcher.contains(made)) << call_name(made);
}

} // namespace
} // namespace vombrelle
