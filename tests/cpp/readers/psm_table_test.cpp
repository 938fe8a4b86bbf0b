#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "readers/psm_table.hpp"

namespace vombrelle {
namespace {

const std::string kHeader =
    "First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\tProtein Descriptions\t"
    "MH+ [Da]\tModifications\tPercolator q-Value";

std::string row(const std::string& scan, const std::string& seq, const std::string& mass) {
    return scan + "\tHigh\tUnambiguous\t" + seq + "\tP1\tdesc\t" + mass + "\t(L)\t0.1";
}

// Past a handful of sequences a scan's records are found through an index: a repeated sequence
// must still replace its record in place, as the search in place does.
TEST(PsmTable, ScanWithManySequencesKeepsOneRecordEach) {
    std::vector<std::string> text{kHeader};
    for (int i = 0; i < 100; ++i) text.push_back(row("7", "A" + std::to_string(i % 40) + "kR", std::to_string(1000 + i)));
    PsmReadOptions options;
    options.linkers.long_mass = 100.0;
    options.linkers.long_tag = "(L)";
    options.linkers.short_tag = "(S)";
    const std::vector<std::string_view> lines(text.begin(), text.end());
    const PsmTables t = take_psm_tables(read_psm_lines(lines, options));
    const PsmScanEntry& e = *t.high.find(7);
    EXPECT_EQ(e.pep_seq.size(), 100u);
    ASSERT_EQ(e.records.size(), 40u);
    for (std::uint32_t i = 0; i < 40; ++i) {
        EXPECT_EQ(t.high.sequence(e.records[i].row), "A" + std::to_string(i) + "kR");
        EXPECT_EQ(e.records[i].id, i);
        EXPECT_EQ(e.records[i].pep_mass, 1000.0 + (i < 20 ? i + 80 : i + 40) - 100.0);
    }
}

// The protein is text: positions count characters, not bytes.
TEST(PsmTable, PeptideEndsProteinCountsCharacters) {
    EXPECT_TRUE(peptide_ends_protein("MMLVTDLTK", "LVTDLTk", "LVTDLTK"));
    EXPECT_FALSE(peptide_ends_protein("LVTDLTKMLVTDLTK", "LVTDLTk", "LVTDLTK"));
    EXPECT_TRUE(peptide_ends_protein("\xc3\x84\xc3\x84LK", "Lk", "LK"));  // multi-byte residues before it
    EXPECT_FALSE(peptide_ends_protein("MSSK", "\xc3\x9f" "k", "SSK"));   // upper-casing lengthened it
    std::unordered_map<std::string, std::string> proteins{{"P1", "MMAkR"}};
    EXPECT_EQ(MapProteinLookup(proteins).ends_protein("P2", "Ak", "AK"), std::nullopt);
}

} // namespace
} // namespace vombrelle
