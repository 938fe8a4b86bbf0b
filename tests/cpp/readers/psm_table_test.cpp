#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/errors.hpp"
#include "readers/psm_table.hpp"

namespace vombrelle {
namespace {

// The linker tags are counted with the interpreter's str.count; an empty tag counts the gaps
// between characters (len + 1) instead of looping forever.
TEST(PsmTable, LinkerTagsCountAsTheInterpreterCounts) {
    const std::vector<std::string_view> lines = {
        "First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\t"
        "Protein Descriptions\tMH+ [Da]\tModifications",
        "10\tHigh\tUnambiguous\tAkDEFR\tP1\td\t1000.5\tK2(L);K2(L)",
    };
    for (const auto& [long_tag, expected_da] :
         {std::pair<std::string, double>{"(L)", 1000.5 - 2 * 100.0}, {"", 1000.5 - 12 * 100.0}}) {
        PsmReadOptions options;
        options.linkers = {HostNumber(100.0), HostNumber(1.0), long_tag, "(S)", {}, {}, {}, {}};
        const PsmTables tables = take_psm_tables(read_psm_lines(lines, options));
        const PsmScanEntry* entry = tables.high.find(10);
        ASSERT_NE(entry, nullptr);
        EXPECT_DOUBLE_EQ(entry->records.at(0).pep_mass, expected_da) << "tag '" << long_tag << "'";
    }
}

// A linker argument that cannot serve fails at the first accepted row, but the row is not at fault:
// its line is named only for the row's own error.
TEST(PsmTable, ALinkerArgumentsErrorNamesNoLine) {
    const std::vector<std::string_view> lines = {
        "First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\t"
        "Protein Descriptions\tMH+ [Da]\tModifications",
        "10\tHigh\tUnambiguous\tAkDEFR\tP1\td\t1000.5\t",
        "x\tHigh\tUnambiguous\tAkDEFR\tP1\td\t1000.5\t",
    };
    for (const bool linker_fails : {true, false}) {
        PsmReadOptions options;
        options.linkers = {HostNumber(100.0), HostNumber(1.0), "(L)", "(S)", {}, {}, {}, {}};
        if (linker_fails) options.linkers.long_mass_error = std::make_exception_ptr(overflow_error("too large"));
        const PsmReadOutcome outcome = read_psm_lines(lines, options);
        try {
            std::rethrow_exception(outcome.error);
        } catch (const HostError& e) {
            EXPECT_EQ(e.context(), linker_fails ? "" : "in pep_matches, line 3");
            EXPECT_EQ(e.kind(), linker_fails ? ErrorKind::Overflow : ErrorKind::Value);
        }
    }
}

// Past 15 records a scan finds its records through an index: a sequence that recurs there, at any
// position, updates its one record. (The module's tables, keyed by sequence, cannot show a second one.)
TEST(PsmTable, ASequenceRecurringInAScanOfManyKeepsOneRecord) {
    std::vector<std::string> text = {
        "First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\t"
        "Protein Descriptions\tMH+ [Da]\tModifications"};
    for (int i = 0; i < 80; ++i) {
        text.push_back("10\tHigh\tUnambiguous\tA" + std::to_string(i % 40) + "kR\tP1\td\t" + std::to_string(1000 + i) + "\t");
    }
    const std::vector<std::string_view> lines(text.begin(), text.end());
    const PsmTables tables = take_psm_tables(read_psm_lines(lines, PsmReadOptions{}));
    for (std::size_t t = 0; t < 3; ++t) {
        const PsmScanEntry& entry = *tables[t].find(10);
        ASSERT_EQ(entry.records.size(), 40u);
        EXPECT_EQ(tables[t].record_count(), 40u);
        for (std::size_t j = 0; j < 40; ++j) EXPECT_EQ(entry.records[j].pep_mass, 1040.0 + j) << j;  // the last row's
    }
}

} // namespace
} // namespace vombrelle
