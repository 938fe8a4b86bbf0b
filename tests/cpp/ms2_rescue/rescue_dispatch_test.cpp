#include <gtest/gtest.h>

#include "rescue_fixture.hpp"

namespace vombrelle::test {
namespace {

// Notes the builder calls and answers them from a script.
class FakeBuilder : public NamedCalls {
public:
    void uniq(std::vector<std::string_view>&) override { ADD_FAILURE() << "uniq"; }
    CrossLinkScoreMap rescue_prec_mismatch(const MismatchRescueRequest&, SearchPsmTables&, bool&) override {
        ADD_FAILURE() << "dispatcher";
        return {};
    }
    RescueBuilderResult find_xls_ms2_rescue(const RescueBuilderRequest& r, SearchPsmTables& t) override {
        EXPECT_EQ(&t, tables);
        EXPECT_TRUE(r.ms2_scan == HostNumber(50) && r.ms2_mass == HostNumber(2357.5) &&
                    r.ms2_charge == HostNumber(3) && r.linker_mass == HostNumber(158.0));
        std::string scans;
        for (HostNumber s : r.scans) scans += s.to_text() + ":";
        calls.push_back(scans);
        return script.at(calls.size() - 1);
    }
    PrecursorRescueResult rescue_prec_mass(const PrecursorRescueRequest&, const SpectrumTable&,
                                           const PsmMatchTable&) override {
        ADD_FAILURE() << "precursor rescue";
        return {};
    }

    SearchPsmTables* tables = nullptr;
    std::vector<RescueBuilderResult> script{{"", 0}, {"", 0}};
    std::vector<std::string> calls;  // the four scans of each call, "a1:a2:b1:b2:"
};

MismatchRescueRequest mismatch(HostNumber mode, std::array<HostNumber, 4> scans) {
    static const Ms3MassList empty;
    return {mode, {&empty, &empty, &empty, &empty}, scans, 50, 2357.5, 3, 158.0, 54.0};
}

TEST(RescueDispatch, ModesCallTheBuilderWithEachSideOnTheRescueSearch) {
    struct Row {
        HostNumber mode;
        std::array<HostNumber, 4> scans;
        std::vector<std::string> calls;  // empty: no map
    };
    for (const Row& r : {Row{4, {51, 52, 53, 54}, {"51:52:53:54:", "53:54:51:52:"}},
                         Row{4.0, {51, 52, 53, 54}, {"51:52:53:54:", "53:54:51:52:"}},
                         Row{2, {51, 52, 51, 52}, {"51:52:51:52:"}},
                         Row{3, {51, 52, 52, 53}, {"51:52:1000052:1000053:", "52:53:1000051:1000052:"}},
                         Row{3.0, {51.0, 52, 52, 53.0}, {"51.0:52:1000052:1000053.0:", "52:53.0:1000051.0:1000052:"}},
                         Row{5, {51, 52, 53, 54}, {}}, Row{1, {51, 52, 53, 54}, {}},
                         Row{0, {51, 52, 53, 54}, {}}, Row{3.5, {51, 52, 53, 54}, {}}}) {
        SearchPsmTables tables;
        FakeBuilder fake;
        fake.tables = &tables;
        const auto map = rescue_prec_mismatch(mismatch(r.mode, r.scans), tables, fake);
        EXPECT_EQ(fake.calls, r.calls) << r.mode.to_text();
        EXPECT_EQ(map.has_value(), !r.calls.empty()) << r.mode.to_text();
    }
}

TEST(RescueDispatch, EveryResultIsStoredInCallOrderAndALaterScoreWins) {
    using Script = std::vector<RescueBuilderResult>;
    using Entries = std::vector<std::pair<std::string, HostNumber>>;
    for (const auto& [script, entries] : std::vector<std::pair<Script, Entries>>{
             {{{"", 0}, {"", 0}}, {{"", 0}}},
             {{{"", 0}, {"B", 12.5}}, {{"", 0}, {"B", 12.5}}},
             {{{"A", 3.0}, {"", 0}}, {{"A", 3.0}, {"", 0}}},
             {{{"A", 3.0}, {"A", 7.5}}, {{"A", 7.5}}}}) {
        SearchPsmTables tables;
        FakeBuilder fake;
        fake.tables = &tables;
        fake.script = script;
        const auto map = rescue_prec_mismatch(mismatch(4, {51, 52, 53, 54}), tables, fake);
        ASSERT_TRUE(map.has_value());
        Entries got(map->begin(), map->end());
        EXPECT_EQ(got.size(), entries.size());
        for (std::size_t i = 0; i < std::min(got.size(), entries.size()); ++i) {
            EXPECT_EQ(got[i].first, entries[i].first);
            EXPECT_TRUE(got[i].second == entries[i].second && got[i].second.is_int() == entries[i].second.is_int());
        }
    }
}

TEST(RescueDispatch, ThreeScanRescueReadsLeaveEntriesUnderTheShiftedScans) {
    PsmFixture f;
    f.add(f.tables.ms3, 51, {"PEPkA", 1000.5});
    f.add(f.tables.rescue, 1000052, {"PEPkB", 1200.25});
    NativeCalls calls;
    bool returned = false;
    MismatchRescueRequest r = mismatch(3, {51, 52, 52, 53});
    r.ms2_mass = 2357.742175;
    const CrossLinkScoreMap map = calls.rescue_prec_mismatch(r, f.tables, returned);
    ASSERT_TRUE(returned);
    // The first call reads scan 52 of the MS3 search and 1000053 of the rescue search unasked; the
    // second call then finds 52 an empty entry, so its side A has nothing to offer.
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at_position(0).first,
              "High\tH_H_\t51:52:1000052.1:1000053.1,50\t2357.742175\t3\t786.5859416666666\tPEPkA\tP1\tprotein one\t"
              "PEPkB\tP1\tprotein one\tMS2_Rescued_XL");
    EXPECT_EQ(map.at_position(1).first, "");
    for (const PsmScanEntry* e : {f.tables.ms3.high.find(52), f.tables.rescue.high.find(1000053)}) {
        EXPECT_TRUE(e != nullptr && e->made_by_read);
    }
    EXPECT_FALSE(f.tables.ms3.med_high.contains(52));
}

} // namespace
} // namespace vombrelle::test
