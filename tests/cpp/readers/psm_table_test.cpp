#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <unordered_map>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "readers/psm_table.hpp"

namespace vombrelle {

namespace {

const std::string kHeader =
    "First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\tProtein Descriptions\t"
    "MH+ [Da]\tModifications\tPercolator q-Value";

std::string row(const std::string& scan, const std::string& conf, const std::string& seq, const std::string& q,
                const std::string& mass = "1000.0", const std::string& ambig = "Unambiguous") {
    return scan + "\t" + conf + "\t" + ambig + "\t" + seq + "\tP1\tdesc\t" + mass + "\t(L)\t" + q;
}

PsmReadOptions options(bool log = false) {
    PsmReadOptions o;
    o.linkers.long_mass = 100.0;
    o.linkers.short_mass = 50.0;
    o.linkers.long_tag = "(L)";
    o.linkers.short_tag = "(S)";
    o.log_rescale_calls = log;
    return o;
}

PsmReadOutcome read(const std::vector<std::string>& text, const PsmReadOptions& o) {
    std::vector<std::string_view> lines(text.begin(), text.end());
    return read_psm_lines(lines, o);
}

// The error an outcome holds, as kind, message and context.
struct Failure {
    ErrorKind kind;
    std::string message, context;
};
Failure failure(const PsmReadOutcome& out) {
    try {
        std::rethrow_exception(out.error);
    } catch (const HostError& e) {
        return {e.kind(), e.what(), e.context()};
    }
}

std::vector<double> qvalues(const std::vector<PsmRescaleCall>& calls) {
    std::vector<double> out;
    for (const auto& c : calls) out.push_back(c.q_value);
    return out;
}

} // namespace

// The first error is that of three walks made one table after the other: a later line of an
// earlier walk wins over an earlier line of a later walk.
struct WalkOrderCase {
    const char* name;
    std::vector<std::string> rows;
    std::string message;
    std::string context;
};

class PsmWalkOrder : public testing::TestWithParam<WalkOrderCase> {};

TEST_P(PsmWalkOrder, FirstErrorOfThreeWalks) {
    std::vector<std::string> text{kHeader};
    text.insert(text.end(), GetParam().rows.begin(), GetParam().rows.end());
    PsmReadOutcome out = read(text, options());
    ASSERT_TRUE(out.error);
    Failure f = failure(out);
    EXPECT_EQ(f.message, GetParam().message);
    EXPECT_EQ(f.context, GetParam().context);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PsmWalkOrder,
    testing::Values(
        WalkOrderCase{"HighLaterBeatsLowEarlier",
                      {row("x", "Low", "AkR", "0.1"), row("2", "High", "AkR", "bad")},
                      "could not convert string to float: 'bad'", "in pep_matches, line 3"},
        WalkOrderCase{"MediumLaterBeatsLowEarlier",
                      {row("1", "Low", "AkR", ""), row("1.5", "Medium", "AkR", "0.1")},
                      "invalid literal for int() with base 10: '1.5'", "in pep_matches, line 3"},
        WalkOrderCase{"LowOnlyWhenNothingElse",
                      {row("1", "High", "AkR", "0.1"), row("1", "Low", "AkR", "0.1", "")},
                      "could not convert string to float: ''", "in pep_matches, line 3"},
        WalkOrderCase{"ShortLowRowFailsTheLastWalk",
                      {row("1", "Low", "AkR", "0.1"), "7\tLow"},
                      "list index out of range", "in pep_matches, line 3"},
        WalkOrderCase{"EarliestLineWithinOneWalk",
                      {row("a", "High", "AkR", "0.1"), row("b", "High", "AkR", "0.1")},
                      "invalid literal for int() with base 10: 'a'", "in pep_matches, line 2"}),
    [](const testing::TestParamInfo<WalkOrderCase>& i) { return std::string(i.param.name); });

TEST(PsmTable, RescaleCallsTableByTableUpToTheError) {
    PsmReadOutcome out = read({kHeader, row("1", "High", "AkR", "0.1"), row("1", "Low", "BkR", "0.3"),
                               row("x", "Low", "AkR", "0.4"), row("2", "Medium", "AkR", "0.5")},
                              options(true));
    ASSERT_TRUE(out.error);
    EXPECT_EQ(qvalues(out.rescale_calls[0]), (std::vector<double>{0.1}));
    EXPECT_EQ(qvalues(out.rescale_calls[1]), (std::vector<double>{0.1, 0.5}));
    EXPECT_EQ(qvalues(out.rescale_calls[2]), (std::vector<double>{0.1, 0.3}));

    // An error of the High walk ends every later walk: none of their calls would be made.
    out = read({kHeader, row("1", "Low", "AkR", "0.3"), row("x", "High", "AkR", "0.4")}, options(true));
    EXPECT_EQ(qvalues(out.rescale_calls[0]), std::vector<double>{});
    EXPECT_TRUE(out.rescale_calls[1].empty() && out.rescale_calls[2].empty());
}

TEST(PsmTable, RecordsSharedTextsAndKeyOrder) {
    PsmTables t = take_psm_tables(read({kHeader, row("5", "High", "AkR", "0.1", "900", "Rejected"),
                                        row("5", "High", "BkR", "0.2", "901"), row("5", "High", "AkR", "0.25", "902")},
                                       options()));
    const PsmScanEntry* e = t.high.find(5);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->pep_seq.size(), 3u);
    ASSERT_EQ(e->records.size(), 2u);
    EXPECT_EQ(e->selected_after, 2u);  // "selected_pep" follows the key "BkR"
    EXPECT_EQ(t.high.sequence(*e->selected), "BkR");
    const PsmRecord* a = t.high.find_record(*e, "AkR");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->pep_mass, 802.0);
    EXPECT_EQ(a->qval.as_double(), 1.0 - 0.25);
    EXPECT_EQ(a->id, 0u);  // a replaced record keeps its place and number
    // One copy of each row's texts serves the three tables.
    const PsmRecord* b = t.all.find_record(*t.all.find(5), "AkR");
    EXPECT_EQ(t.high.texts(a->row).sequence.data(), t.all.texts(b->row).sequence.data());
    EXPECT_EQ(t.high.find(6), nullptr);
}

TEST(PsmTable, ScanWithManySequencesKeepsOneRecordEach) {
    std::vector<std::string> text{kHeader};
    for (int i = 0; i < 100; ++i) {
        text.push_back(row("7", "High", "A" + std::to_string(i % 40) + "kR", "0.1", std::to_string(1000 + i)));
    }
    PsmTables t = take_psm_tables(read(text, options()));
    const PsmScanEntry& e = *t.high.find(7);
    EXPECT_EQ(e.pep_seq.size(), 100u);
    ASSERT_EQ(e.records.size(), 40u);
    for (std::uint32_t i = 0; i < 40; ++i) {
        EXPECT_EQ(t.high.sequence(e.records[i].row), "A" + std::to_string(i) + "kR");
        EXPECT_EQ(e.records[i].id, i);
        EXPECT_EQ(e.records[i].pep_mass, 1000.0 + (i < 20 ? i + 80 : i + 40) - 100.0);
    }
}

TEST(PsmTable, UnusableLinkerFailsOnlyWhenARowNeedsIt) {
    PsmReadOptions o = options();
    o.linkers.short_mass_error = std::make_exception_ptr(type_error("bad short mass"));
    PsmReadOutcome none = read({kHeader, row("1", "High", "PEPTIDER", "0.1")}, o);
    EXPECT_FALSE(none.error);
    PsmReadOutcome used = read({kHeader, row("1", "High", "AkR", "0.1")}, o);
    ASSERT_TRUE(used.error);
    EXPECT_EQ(failure(used).message, "bad short mass");
}

TEST(PsmTable, PeptideEndsProteinCountsCharacters) {
    EXPECT_TRUE(peptide_ends_protein("MMLVTDLTK", "LVTDLTk", "LVTDLTK"));
    EXPECT_FALSE(peptide_ends_protein("LVTDLTKMLVTDLTK", "LVTDLTk", "LVTDLTK"));
    EXPECT_TRUE(peptide_ends_protein("\xc3\x84\xc3\x84LK", "Lk", "LK"));   // multi-byte residues before it
    EXPECT_FALSE(peptide_ends_protein("MSSK", "\xc3\x9f" "k", "SSK"));    // upper-casing lengthened it
    std::unordered_map<std::string, std::string> proteins{{"P1", "MMAkR"}};
    MapProteinLookup lookup(proteins);
    EXPECT_EQ(lookup.ends_protein("P2", "Ak", "AK"), std::nullopt);
}

class PsmFile : public testing::Test {
protected:
    std::string path(const std::string& bytes) {
        file_ = std::filesystem::temp_directory_path() / ("psm_table_test_" + std::to_string(::getpid()) + ".txt");
        std::ofstream(file_, std::ios::binary) << bytes;
        return file_.string();
    }
    void TearDown() override { std::filesystem::remove(file_); }
    std::filesystem::path file_;
};

TEST_F(PsmFile, QuotesRemovedAndLineEndsOfEveryKind) {
    std::string quoted = "\"" + kHeader + "\"\r\n" + row("3", "\"High\"", "\"AkR\"", "0.5") + "\r" +
                         row("4", "Low", "AkR", "0.5") + "\n";
    PsmTables t = take_psm_tables(read_psm_file(path(quoted), options()));
    EXPECT_NE(t.high.find(3), nullptr);
    EXPECT_NE(t.all.find(4), nullptr);
}

TEST_F(PsmFile, DecodingErrorAnywhereComesBeforeRowErrors) {
    std::string text = kHeader + "\n" + row("x", "High", "AkR", "0.1") + "\n" + "caf\xe9\n";
    try {
        read_psm_file(path(text), options());
        FAIL() << "no error";
    } catch (const HostError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::UnicodeDecode);
        EXPECT_NE(e.context().find("line 3"), std::string::npos);
    }
}

TEST_F(PsmFile, MissingColumnNamesTheFirstInOrder) {
    PsmReadOutcome out = read_psm_file(path("Modifications\tFirst Scan\n"), options());
    Failure f = failure(out);
    EXPECT_EQ(f.kind, ErrorKind::Value);
    EXPECT_EQ(f.message, "'Confidence' is not in list");
    EXPECT_EQ(f.context, "in file '" + file_.string() + "', line 1");
}

} // namespace vombrelle
