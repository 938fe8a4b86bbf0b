#include "interpreter_oracle.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vombrelle::test {

std::string hex_encode(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

std::string hex_bits(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    std::string be(8, '\0');
    for (int i = 0; i < 8; ++i) be[i] = static_cast<char>(bits >> (56 - 8 * i));
    return hex_encode(be);
}

std::vector<std::string> ask_interpreter(const std::string& script, const std::vector<std::string>& requests) {
    namespace fs = std::filesystem;
    std::string templ = (fs::temp_directory_path() / "vombrelle-oracle-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
        return {};
    }
    const fs::path dir(templ);
    {
        std::ofstream(dir / "oracle.py") << script;
        std::ofstream in(dir / "requests.txt", std::ios::binary);
        for (const auto& r : requests) in << r << '\n';
    }
    const std::string cmd = std::string(VOMBRELLE_PYTHON) + " -I " + (dir / "oracle.py").string() + " " +
                            (dir / "requests.txt").string() + " " + (dir / "answers.txt").string();
    const int rc = std::system(cmd.c_str());
    std::vector<std::string> answers;
    if (rc != 0) {
        ADD_FAILURE() << "the interpreter failed (" << rc << "): " << cmd;
    } else {
        std::ifstream out(dir / "answers.txt", std::ios::binary);
        std::string line;
        while (std::getline(out, line)) answers.push_back(line);
        if (answers.size() != requests.size()) {
            ADD_FAILURE() << "expected " << requests.size() << " answers, got " << answers.size();
            answers.clear();
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return answers;
}

} // namespace vombrelle::test
