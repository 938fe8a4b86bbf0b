// A fresh temporary folder for one test, removed with everything in it afterwards, and a way to
// see what a call failed with.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/errors.hpp"

namespace vombrelle::test {

class TempDir {
public:
    TempDir() : path_((std::filesystem::temp_directory_path() / "vombrelle-test-XXXXXX").string()) {
        if (::mkdtemp(path_.data()) == nullptr) path_.clear();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    std::string write(std::string_view name, std::string_view bytes) const {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }

private:
    std::string path_;
};

// What an OS error `err` on `file` looks like in failure_of(); no error at all when `err` is 0.
inline std::string os_failure(int err, const std::string& file) {
    return err == 0 ? "no error" : "errno " + std::to_string(err) + " '" + file + "'";
}

// What `f` failed with: an OS error's errno and file name, else the kind and the message.
template <class F>
std::string failure_of(F&& f) {
    try {
        f();
    } catch (const HostError& e) {
        if (e.kind() == ErrorKind::OS) return "errno " + std::to_string(e.os_errno) + " '" + e.filename + "'";
        return "kind " + std::to_string(static_cast<int>(e.kind())) + ": " + e.what();
    }
    return "no error";
}

} // namespace vombrelle::test
