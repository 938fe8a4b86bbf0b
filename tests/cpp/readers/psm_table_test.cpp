#include <gtest/gtest.h>

#include <functional>
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
        options.linkers = {HostOperand::of(100.0), HostOperand::of(1.0), long_tag, "(S)", {}, {}};
        const PsmTables tables = take_psm_tables(read_psm_lines(lines, options));
        const PsmScanEntry* entry = tables.high.find(10);
        ASSERT_NE(entry, nullptr);
        EXPECT_DOUBLE_EQ(entry->records.at(0).pep_mass, expected_da) << "tag '" << long_tag << "'";
    }
}

// A linker argument that cannot serve fails at the first accepted row, but the row is not at fault:
// its line is named only for the row's own error. The row meets the tags before the masses, the
// long remnant's before the short one's.
TEST(PsmTable, ALinkerArgumentsErrorNamesNoLine) {
    const std::vector<std::string_view> lines = {
        "First Scan\tConfidence\tPSM Ambiguity\tAnnotated Sequence\tProtein Accessions\t"
        "Protein Descriptions\tMH+ [Da]\tModifications",
        "10\tHigh\tUnambiguous\tAkDEFR\tP1\td\t1000.5\t",
        "x\tHigh\tUnambiguous\tAkDEFR\tP1\td\t1000.5\t",
    };
    const auto failure = [](const char* message) {
        return DeferredFailure(std::make_exception_ptr(value_error(message)));
    };
    struct Row {
        std::function<void(PsmLinkers&)> spoil;
        ErrorKind kind;
        std::string message, context;
    };
    const Row rows[] = {
        {[](PsmLinkers&) {}, ErrorKind::Value, "invalid literal for int() with base 10: 'x'", "in pep_matches, line 3"},
        {[&](PsmLinkers& l) {
             l.short_tag_failure = failure("short tag");
             l.long_tag_failure = failure("long tag");
         },
         ErrorKind::Value, "long tag", ""},
        {[&](PsmLinkers& l) {
             l.long_mass = HostOperand::failing(failure("long mass"));
             l.short_tag_failure = failure("short tag");
         },
         ErrorKind::Value, "short tag", ""},
        {[&](PsmLinkers& l) {
             l.short_mass = HostOperand::failing(failure("short mass"));
             l.long_mass = HostOperand::failing(failure("long mass"));
         },
         ErrorKind::Value, "long mass", ""},
        {[](PsmLinkers& l) { l.short_mass = HostOperand::foreign("str"); }, ErrorKind::Type,
         "unsupported operand type(s) for *: 'int' and 'str'", ""},
        {[](PsmLinkers& l) { l.long_mass = HostOperand::beyond_64_bits(18446744073709551616.0); }, ErrorKind::Overflow,
         "int too large to convert to a 64-bit integer", ""},
    };
    for (const Row& r : rows) {
        PsmReadOptions options;
        options.linkers = {HostOperand::of(100.0), HostOperand::of(1.0), "(L)", "(S)", {}, {}};
        r.spoil(options.linkers);
        const PsmReadOutcome outcome = read_psm_lines(lines, options);
        ASSERT_TRUE(outcome.error) << r.message;
        try {
            std::rethrow_exception(outcome.error);
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), r.kind) << r.message;
            EXPECT_EQ(e.what(), r.message);
            EXPECT_EQ(e.context(), r.context) << r.message;
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
