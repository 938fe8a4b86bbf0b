// The text file reader and the str methods on what it reads.
//
// Input: one byte choosing the read block, one choosing a filler line put in front (so that the
// fuzzed bytes meet the interpreter's 8 KiB decoding blocks, which decide where a decoding error
// is reported), then the file's bytes. The lines, and the error if any, must not depend on the
// block; they must be the file split at LF, CRLF and CR; a file that is valid UTF-8 must read to
// the end and one that is not must fail with a decoding error. Every line then goes through
// strip/split, whose results are checked against each other.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_text.hpp"
#include "common/text_file.hpp"
#include "fuzz_support.hpp"

using namespace vombrelle;
using namespace vombrelle::fuzz;

namespace {

struct Reading {
    std::vector<std::string> lines;  // each with "+" when it ended in a line break, "-" when not
    std::optional<std::string> error;
};

Reading read_all(const std::string& path, std::size_t block) {
    Reading r;
    r.error = error_of([&] {
        TextLineReader reader(path, block);
        std::string_view line;
        while (reader.next(line)) {
            check(reader.line_number() == r.lines.size() + 1, "line numbers skip");
            r.lines.push_back(std::string(line) + (reader.line_ended() ? "+" : "-"));
        }
    });
    return r;
}

// Universal newlines on the whole file.
std::vector<std::string> split_lines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back(std::string(bytes.substr(pos)) + "-");
            break;
        }
        lines.push_back(std::string(bytes.substr(pos, end - pos)) + "+");
        pos = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool within(std::string_view part, std::string_view whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

std::string join(const std::vector<std::string_view>& pieces, std::string_view sep) {
    std::string s;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) s += sep;
        s += pieces[i];
    }
    return s;
}

// str.split() whole: room for every piece a text can hold.
std::vector<std::string_view> split_whitespace(std::string_view s) {
    std::vector<std::string_view> pieces(s.size() / 2 + 1);
    pieces.resize(split_whitespace_first(s, pieces.data(), pieces.size()));
    return pieces;
}

// strip, split and split(sep) agree with each other on a valid UTF-8 line.
void check_str_methods(std::string_view line) {
    const std::string_view s = strip(line);
    check(within(s, line) && strip(s) == s, "strip is no sub-text or not idempotent");
    const std::string_view t = strip_except_tab(line);
    check(within(t, line) && strip(t) == s, "strip_except_tab strips what strip keeps");

    const std::vector<std::string_view> words = split_whitespace(line);
    std::string_view first[2];
    const std::size_t n = split_whitespace_first(line, first, 2);
    check(n == std::min<std::size_t>(words.size(), 2), "split_whitespace_first counts differently");
    for (std::size_t i = 0; i < n; ++i) check(first[i] == words[i], "split_whitespace_first differs");
    for (std::string_view w : words) {
        check(!w.empty() && within(w, s) && strip(w) == w && split_whitespace(w).size() == 1,
              "split() gives a piece with whitespace");
    }
    check(words.empty() == s.empty(), "split() finds no piece in a text that is not blank");

    for (std::string_view sep : {std::string_view("\t"), std::string_view("ab")}) {
        check(join(split(line, sep), sep) == line, "split(sep) loses text");
    }
    const std::string repr = py_repr(line);
    check(repr.size() >= 2 && (repr[0] == '\'' || repr[0] == '"') && repr.back() == repr[0], "repr is not quoted");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static constexpr std::size_t kBlocks[] = {1, 2, 3, 7, 64, 4096, 65536};
    static constexpr std::size_t kFillers[] = {0, 0, 8188, 8189, 8190, 8191, 8192, 16381};
    static constexpr std::string_view kLineEnds[] = {"\n", "\r\n", "\r", ""};
    const std::size_t block = kBlocks[data[0] % std::size(kBlocks)];
    const std::size_t filler = kFillers[data[1] % std::size(kFillers)];
    // One long line, ended or continued by the fuzzed bytes.
    const std::string_view end = kLineEnds[data[1] / 8 % std::size(kLineEnds)];
    std::string bytes(filler - std::min(filler, end.size()), 'f');
    bytes += filler ? end : "";
    bytes.append(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string path = write_scratch(bytes, "input.txt");

    const Reading got = read_all(path, block);
    const Reading other = read_all(path, block == 65536 ? 4096 : 65536);
    check(got.lines == other.lines && got.error == other.error,
          "the read block changes the reading: " + got.error.value_or("none") + " / " + other.error.value_or("none"));

    const std::vector<std::string> expected = split_lines(bytes);
    check(got.lines.size() <= expected.size() &&
              std::equal(got.lines.begin(), got.lines.end(), expected.begin()),
          "lines differ from the file split at its line breaks");
    std::size_t bad_start, bad_end;
    const char* reason;
    if (check_utf8(bytes, bad_start, bad_end, reason)) {
        check(!got.error && got.lines.size() == expected.size(), "valid UTF-8 fails: " + got.error.value_or(""));
        // The filler's line is long and plain: the str methods see only the fuzzed lines.
        for (std::size_t i = filler ? 1 : 0; i < got.lines.size(); ++i) {
            check_str_methods(std::string_view(got.lines[i]).substr(0, got.lines[i].size() - 1));
        }
    } else {
        check(got.error && got.error->rfind("kind " + std::to_string(static_cast<int>(ErrorKind::UnicodeDecode)), 0) == 0,
              "invalid UTF-8 does not fail with a decoding error: " + got.error.value_or("none"));
    }
    return 0;
}
