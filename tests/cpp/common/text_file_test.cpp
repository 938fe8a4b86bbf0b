#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/text_file.hpp"
#include "interpreter_oracle.hpp"
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

// What the interpreter reports when it iterates over the lines of each file.
const char* const kDecodeOracle = R"PY(
import sys
out = []
for path in open(sys.argv[1]).read().split('\n')[:-1]:
    try:
        with open(path, encoding='utf-8') as f:
            for line in f:
                pass
        out.append('ok')
    except UnicodeDecodeError as e:
        out.append('%d %d %s %s' % (e.start, e.end, e.reason.replace(' ', '_'), e.object.hex()))
open(sys.argv[2], 'w').write('\n'.join(out) + '\n')
)PY";

struct DecodeCase {
    std::string content;
    std::size_t line;  // the line the error is reported on
};

TEST(TextLineReader, InvalidUtf8RaisesTheInterpretersDecodeError) {
    const std::string a8190(8190, 'a');
    const DecodeCase cases[] = {
        {"ok\n\xFFx\n", 2},
        {"\x80", 1},
        {"a\xC0\x80", 1},              // overlong NUL
        {"ab\xED\xA0\x80\n", 1},       // a surrogate
        {"\xE0\x80\x80", 1},           // overlong three-byte form
        {"\xF4\x90\x80\x80", 1},       // beyond U+10FFFF
        {"\xE2\x28\xA1", 1},
        {"\xF0\x9F\x98\x28", 1},
        {"x\n\xE2\x82\ny", 2},         // cut short by a line end
        {"x\n\xE2\x82\r", 2},
        {"x\n\xE2\x82", 2},            // cut short by the end of the file
        {"\xF5\x80", 1},
        // Positions count from the start of the interpreter's 8192-byte decoding block.
        {std::string(10000, 'a') + "\xFF\n", 1},
        {a8190 + "\xE2\x82\x28", 1},           // a bad character across a block boundary
        {a8190 + "a\xE2\x82\xAC\xFF", 1},       // a good one across it, then a bad byte
        {a8190 + "\n\xE2\x82", 2},
        {a8190 + "\n\xE2\x82\xAC" + std::string(9000, 'b') + "\xC3", 2},
        {"aaaaa\xFF" + std::string(9000, 'a') + "\n", 1},
        {std::string(16383, 'a') + "\xC3\n", 1},
    };
    test::TempDir dir;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        paths.push_back(dir.write("bad" + std::to_string(i) + ".txt", cases[i].content));
    }
    const auto expected = test::ask_interpreter(kDecodeOracle, paths);
    ASSERT_EQ(expected.size(), paths.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        for (std::size_t block : {1, 3, 4096, 1 << 20}) {
            try {
                read_lines(paths[i], block);
                ADD_FAILURE() << "no error for case " << i;
            } catch (const HostError& e) {
                EXPECT_EQ(e.kind(), ErrorKind::UnicodeDecode);
                EXPECT_EQ(e.encoding, "utf-8");
                std::string reason = e.reason;
                std::replace(reason.begin(), reason.end(), ' ', '_');
                EXPECT_EQ(std::to_string(e.start) + " " + std::to_string(e.end) + " " + reason + " " +
                              test::hex_encode(e.object),
                          expected[i])
                    << "case " << i << " with blocks of " << block;
                EXPECT_EQ(e.context(), "in file '" + paths[i] + "', line " + std::to_string(cases[i].line));
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
