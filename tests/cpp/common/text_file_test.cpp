#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/text_file.hpp"
#include "temp_dir.hpp"

namespace vombrelle {
namespace {

std::vector<std::string> read_lines(const std::string& path, std::size_t block_size) {
    TextLineReader reader(path, block_size);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line)) {
        lines.emplace_back(line);
        EXPECT_EQ(reader.line_number(), lines.size());
    }
    return lines;
}

struct LinesCase {
    const char* content;
    std::vector<std::string> lines;
};

TEST(TextLineReader, UniversalNewlinesAtEveryBlockBoundary) {
    const LinesCase cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\n\n", {"a", ""}},
        {"\n", {""}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"\r\r\n\n\r", {"", "", "", ""}},
        {"one\r\n", {"one"}},
        {"x\r", {"x"}},
        {"long line with no end at all, longer than any block", {"long line with no end at all, longer than any block"}},
        {"\xC3\xA9t\xC3\xA9\r\n\xE2\x82\xAC\r\xF0\x9D\x9F\x8E", {"\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x9F\x8E"}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.write("in.txt", c.content);
        // Tiny blocks put a CR, a CRLF pair and multi-byte characters across every boundary.
        for (std::size_t block : {1, 2, 3, 4, 5, 7, 1 << 20}) {
            EXPECT_EQ(read_lines(path, block), c.lines) << test::read_all(path) << " with blocks of " << block;
        }
    }
}

struct DecodeCase {
    const char* content;
    std::size_t line;
    std::size_t start, end;
    const char* reason;
};

TEST(TextLineReader, InvalidUtf8RaisesTheDecodersError) {
    const DecodeCase cases[] = {
        {"ok\n\xFFx\n", 2, 0, 1, "invalid start byte"},
        {"\x80", 1, 0, 1, "invalid start byte"},
        {"a\xC0\x80", 1, 1, 2, "invalid start byte"},           // overlong NUL
        {"ab\xED\xA0\x80\n", 1, 2, 3, "invalid continuation byte"},  // a surrogate
        {"\xE0\x80\x80", 1, 0, 1, "invalid continuation byte"},  // overlong three-byte form
        {"\xF4\x90\x80\x80", 1, 0, 1, "invalid continuation byte"},  // beyond U+10FFFF
        {"\xE2\x28\xA1", 1, 0, 1, "invalid continuation byte"},
        {"\xF0\x9F\x98\x28", 1, 0, 3, "invalid continuation byte"},
        {"x\n\xE2\x82\ny", 2, 0, 2, "invalid continuation byte"},  // cut short by the line end
        {"x\n\xE2\x82", 2, 0, 2, "unexpected end of data"},        // cut short by the end of the file
        {"\xF5\x80", 1, 0, 1, "invalid start byte"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.write("bad.txt", c.content);
        for (std::size_t block : {1, 3, 1 << 20}) {
            try {
                read_lines(path, block);
                ADD_FAILURE() << "no error for " << test::read_all(path);
            } catch (const HostError& e) {
                EXPECT_EQ(e.kind(), ErrorKind::UnicodeDecode);
                EXPECT_EQ(e.encoding, "utf-8");
                EXPECT_EQ(e.reason, c.reason) << c.content;
                EXPECT_EQ(e.start, c.start) << c.content;
                EXPECT_EQ(e.end, c.end) << c.content;
                EXPECT_EQ(e.context(), "in file '" + path + "', line " + std::to_string(c.line));
            }
        }
    }
}

TEST(TextLineReader, OpenFailuresCarryErrnoAndFileName) {
    test::TempDir dir;
    const std::pair<std::string, int> cases[] = {{dir.file("missing.txt"), ENOENT}, {dir.path(), EISDIR}};
    for (const auto& [path, err] : cases) {
        try {
            TextLineReader reader(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::OS);
            EXPECT_EQ(e.os_errno, err);
            EXPECT_EQ(e.filename, path);
        }
    }
}

} // namespace
} // namespace vombrelle
