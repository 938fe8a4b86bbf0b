#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "common/errors.hpp"
#include "common/file_open.hpp"
#include "common/output_file.hpp"
#include "common/text_file.hpp"
#include "interpreter_oracle.hpp"

namespace vombrelle {
namespace {

// Reads the lines as a reader's inner loop does when `taking`: the lines take_usual_lines offers
// are taken, but for every fifth, refused, which next() must then return; otherwise by next()
// alone. `on_line` sees each line once, with the number of lines read before it.
template <class OnLine>
void read_each_line(TextLineReader& reader, bool taking, OnLine on_line) {
    std::size_t offered = 0, lines = 0;
    std::string refused;
    bool pending = false;
    for (;;) {
        if (taking) {
            reader.take_usual_lines([&](std::string_view line) {
                if (++offered % 5 == 0) {
                    refused.assign(line);
                    pending = true;
                    return false;
                }
                on_line(line, lines++);
                return true;
            });
            EXPECT_EQ(reader.line_number(), lines);
        }
        std::string_view line;
        if (!reader.next(line)) break;
        if (pending) {
            EXPECT_EQ(line, refused);
        }
        pending = false;
        EXPECT_EQ(reader.line_number(), lines + 1);
        on_line(line, lines++);
    }
    EXPECT_FALSE(pending);
}

std::vector<std::string> read_lines(const std::string& path, std::size_t block_size, bool taking = false) {
    TextLineReader reader(path, block_size);
    std::vector<std::string> lines;
    read_each_line(reader, taking, [&](std::string_view line, std::size_t before) {
        EXPECT_EQ(before, lines.size());
        lines.emplace_back(line);
    });
    return lines;
}

// What the interpreter reports when it iterates over the lines of each file, and after how many.
const char* const kDecodeOracle = R"PY(
import sys
def outcome(path):
    lines = 0
    try:
        with open(path, encoding='utf-8') as f:
            for _ in f: lines += 1
    except UnicodeDecodeError as e:
        return '%d lines, %s|%d|%d|%s|%s' % (lines, e.encoding, e.start, e.end, e.reason, e.object.hex())
    return 'no error'
open(sys.argv[2], 'w').write(''.join(outcome(p) + '\n' for p in open(sys.argv[1]).read().split('\n')[:-1]))
)PY";

std::string decode_failure(const std::string& path, std::size_t block_size, bool taking = false) {
    std::size_t lines = 0;
    try {
        TextLineReader reader(path, block_size);
        read_each_line(reader, taking, [&](std::string_view, std::size_t) { ++lines; });
    } catch (const HostError& e) {
        return std::to_string(lines) + " lines, " +
               (e.kind() == ErrorKind::UnicodeDecode ? "" : "(not a decode error) ") + e.encoding + "|" +
               std::to_string(e.start) + "|" + std::to_string(e.end) + "|" + e.reason + "|" + test::hex_encode(e.object) +
               " " + e.context();
    }
    return "no error";
}

// Universal newlines over bytes (the texts below are valid UTF-8, which decoding leaves alone).
std::vector<std::string> split_universal(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Texts long enough for the many-bytes-at-a-time reading: random lines of characters of one to
// four bytes, ended by LF, CRLF or CR, so that line ends and characters fall across the 64-byte
// masks, the interpreter's 8192-byte decoding blocks and the buffer's refills; and line ends at
// every offset around a decoding block's end; and short texts of every line end. Read by next() alone
// and as an inner loop takes them.
TEST(TextLineReader, LongTextsSplitAtEveryBoundary) {
    std::mt19937_64 rng(8192);
    const char* const chars[] = {"a", "b", " ", "\t", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "1", "."};
    const char* const ends[] = {"\n", "\r\n", "\r"};
    std::vector<std::string> texts = {"", "a", "a\n\n", "a\r\nb\rc\nd\r\r\n\n\rx\r", "a line longer than any block\r\n",
                                      "\xC3\xA9t\xC3\xA9\r\n\xE2\x82\xAC\r\xF0\x9D\x9F\x8E"};
    for (int t = 0; t < 6; ++t) {
        std::string text;
        while (text.size() < 40000) {
            for (auto n = rng() % (t % 2 ? 12 : 150); n > 0; --n) text += chars[rng() % std::size(chars)];
            text += ends[rng() % 3];
        }
        texts.push_back(text);
    }
    for (std::size_t at = 8192 - 70; at < 8192 + 70; ++at) {
        for (const char* end : ends) {
            for (const char* c : {"a", "\xE2\x82\xAC"}) {
                std::string text;
                while (text.size() + 4 < at) text += c;  // whole characters up to near `at`
                text.append(at - text.size(), 'z');
                texts.push_back(text + end + std::string(300, 'q') + end + "tail");
            }
        }
    }
    test::TempDir dir;
    for (const std::string& text : texts) {
        const std::string path = dir.write("long.txt", text);
        for (std::size_t block : {1, 2, 3, 5, 7, 71, 4096, 1 << 20}) {
            if (block < 71 && text.size() > 100) continue;  // tiny blocks put a CR, a CRLF pair and characters across every boundary
            ASSERT_EQ(read_lines(path, block), split_universal(text)) << "with blocks of " << block;
            ASSERT_EQ(read_lines(path, block, true), split_universal(text)) << "taking, with blocks of " << block;
        }
    }
}

// Bad bytes as the interpreter meets them: the error, its positions (counted from the start of
// its 8192-byte decoding block) and the line the note names. Short texts at every block size;
// then bad bytes near where the reading changes pace (a decoding block's end, the end of a
// 64-byte mask, a buffer refill) after many good lines, also for lines an inner loop takes.
TEST(TextLineReader, InvalidUtf8FailsAsTheInterpreterFails) {
    const std::string a8190(8190, 'a');
    std::vector<std::pair<std::string, int>> cases = {  // content, the line the error is reported on
        {"ok\n\xFFx\n", 2}, {"\x80", 1}, {"a\xC0\x80", 1} /* overlong NUL */, {"ab\xED\xA0\x80\n", 1} /* surrogate */,
        {"\xE0\x80\x80", 1}, {"\xF4\x90\x80\x80", 1} /* beyond U+10FFFF */, {"\xE2\x28\xA1", 1}, {"\xF0\x9F\x98\x28", 1},
        {"\xF5\x80", 1}, {"x\n\xE2\x82\ny", 2} /* cut short by a line end */, {"x\n\xE2\x82\r", 2}, {"x\n\xE2\x82", 2},
        {std::string(10000, 'a') + "\xFF\n", 1},
        {a8190 + "\xE2\x82\x28", 1},      // a bad character across a block boundary
        {a8190 + "a\xE2\x82\xAC\xFF", 1},  // a good one across it, then a bad byte
        {a8190 + "\n\xE2\x82\xAC" + std::string(9000, 'b') + "\xC3", 2}, {std::string(16383, 'a') + "\xC3\n", 1},
        // A line ended by CR is read only once the character after the CR is known: a character
        // cut by the end of the file fails before it, also when the CR ends a decoding block.
        {"CHARGE=\r\xC3", 2}, {"\r\xF0\x9F\x98", 2}, {a8190 + "a\r\xC3", 2}, {a8190 + "\r\xF0\x9F", 2}, {"x\xFF\r\xC3", 1},
        {"x\r\xE2\x82\n", 2}, {"x\r\xC3\xA9\r\xC3", 3},
    };
    const std::size_t short_cases = cases.size();
    const std::string bad[] = {"\xFF", "\xE2\x82\n", "\xED\xA0\x80", "\xF0\x9F\x98", "\r\xC3"};
    for (std::size_t at : {std::size_t(8192), std::size_t(16384), std::size_t(1) << 16}) {
        for (std::size_t offset = at - 24; offset < at + 24; offset += 3) {
            const std::string& b = bad[cases.size() % std::size(bad)];
            std::string text;
            while (text.size() < offset) text += "0123456789 abcdefghij\n";
            text.resize(offset);
            if (!text.empty() && text.back() == '\n') text.back() = 'x';
            // The note names the line that holds the bad bytes (after the CR, for the last kind).
            const int line = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n')) + (b[0] == '\r' ? 1 : 0);
            cases.emplace_back(text + b + "after\r\nmore\n" + std::string(200, 'z') + "\n", line);
        }
    }
    // A CR that ends a decoding block makes the interpreter decode the next block before it
    // returns the line: a bad byte anywhere in that block fails first.
    for (std::size_t cr_at : {std::size_t(8191), std::size_t(16383)}) {
        for (std::size_t distance : {1, 7, 64, 300, 8000}) {
            std::string text;
            while (text.size() < cr_at - 63) text += "0123456789 abcdefghij\n";
            text.resize(cr_at - 64);
            text += "\n" + std::string(63, 'y');  // the CR is the last of 64 bytes from a line's start
            text += "\rafter\n" + std::string(distance, 'z') + "\xFF\n";
            cases.emplace_back(text, 2 + static_cast<int>(std::count(text.begin(), text.end() - 2, '\n')));
        }
    }
    test::TempDir dir;
    std::vector<std::string> paths;
    for (const auto& c : cases) paths.push_back(dir.write(std::to_string(paths.size()) + ".txt", c.first));
    const auto expected = test::ask_interpreter(kDecodeOracle, paths);
    ASSERT_EQ(expected.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        for (std::size_t block : {std::size_t(1), std::size_t(3), std::size_t(71), std::size_t(4096), std::size_t(1) << 20}) {
            for (const bool taking : {false, true}) {
                if (block < 71 && (i >= short_cases || taking)) continue;
                ASSERT_EQ(decode_failure(paths[i], block, taking),
                          expected[i] + " in file '" + paths[i] + "', line " + std::to_string(cases[i].second))
                    << "with blocks of " << block << (taking ? ", taking" : "");
            }
        }
    }
}

// Opening fails as the interpreter's open() fails, with the errno and the name: a folder, which
// POSIX opens, is refused for reading and writing alike.
TEST(FileOpening, ReadersAndWritersFailLikeTheInterpretersOpen) {
    test::TempDir dir;
    const std::string file = dir.write("file.txt", "x");
    const auto failure = [](auto&& f) -> std::string {
        try {
            f();
        } catch (const HostError& e) {
            return (e.kind() == ErrorKind::OS ? "errno " : "not an OS error ") + std::to_string(e.os_errno) + " " + e.filename;
        }
        return "no error";
    };
    const std::tuple<std::string, int, int> cases[] = {  // path, errno when reading, when writing (0: none)
        {dir.file("missing.txt"), ENOENT, 0}, {dir.file("no/such/folder/out.tsv"), ENOENT, ENOENT},
        {dir.path(), EISDIR, EISDIR}, {file + "/below", ENOTDIR, ENOTDIR}, {"", ENOENT, ENOENT}};
    for (const auto& [path, read_errno, write_errno] : cases) {
        const auto expected = [&](int err) { return err == 0 ? "no error" : "errno " + std::to_string(err) + " " + path; };
        EXPECT_EQ(failure([&] { ::close(open_readable(path)); }), expected(read_errno));
        EXPECT_EQ(failure([&] { TextLineReader reader(path); }), expected(read_errno));
        EXPECT_EQ(failure([&] { OutputFile writer(path); }), expected(write_errno));
    }
}

} // namespace
} // namespace vombrelle
