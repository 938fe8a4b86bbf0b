// Runs a batch of requests through the interpreter the module is built for, so that tests can require
// the core's answers to be identical to the interpreter's own. Requests and answers are one line each;
// texts travel hex-encoded and doubles as the hex of their bits, so nothing is lost on the way.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "temp_dir.hpp"

namespace vombrelle::test {

inline std::string hex_encode(std::string_view bytes) {
    std::string out;
    for (const unsigned char b : bytes) out += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 0xF]};
    return out;
}

inline std::string hex_bits(double x) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
    return buf;
}

// Runs `script` with the request file and the answer file as its arguments (isolated mode, nothing
// from the environment) and returns the answer lines; fails the calling test when it cannot.
inline std::vector<std::string> ask_interpreter(const std::string& script, const std::vector<std::string>& requests) {
    TempDir dir;
    std::string lines;
    for (const auto& r : requests) lines += r + '\n';
    const std::string cmd = std::string(VOMBRELLE_PYTHON) + " -I " + dir.write("oracle.py", script) + " " +
                            dir.write("requests.txt", lines) + " " + dir.file("answers.txt");
    if (const int rc = std::system(cmd.c_str()); rc != 0) {
        ADD_FAILURE() << "the interpreter failed (" << rc << "): " << cmd;
        return {};
    }
    std::vector<std::string> answers;
    std::ifstream out(dir.file("answers.txt"), std::ios::binary);
    for (std::string line; std::getline(out, line);) answers.push_back(line);
    if (answers.size() != requests.size()) {
        ADD_FAILURE() << "expected " << requests.size() << " answers, got " << answers.size();
        answers.clear();
    }
    return answers;
}

} // namespace vombrelle::test
