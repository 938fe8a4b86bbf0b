// What the fuzzing harnesses share: a scratch file for readers that take a path, a full
// description of an error to compare two paths by, and a check that stops the run with a message.
//
// A reader may fail only with a HostError; anything else leaving it (std::length_error,
// std::bad_alloc from a size read out of the input, ...) is a finding, and so is a sanitizer
// report or a check below that fails.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "common/errors.hpp"
#include "common/scan_table.hpp"

namespace vombrelle::fuzz {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "\n*** fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline void check(bool ok, const std::string& what) {
    if (!ok) fail(what);
}

// A folder of this process's own, removed when the process ends: in memory (/dev/shm) unless
// TMPDIR says otherwise, since every input is written once or more.
inline const std::string& scratch_dir() {
    static const std::string dir = [] {
        const bool shm = std::getenv("TMPDIR") == nullptr && ::access("/dev/shm", W_OK | X_OK) == 0;
        const std::filesystem::path base = shm ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string d = (base / "vombrelle-fuzz-XXXXXX").string();
        if (::mkdtemp(d.data()) == nullptr) fail("cannot make a scratch folder");
        static const std::string to_remove = d;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(to_remove, ec);
        });
        return d;
    }();
    return dir;
}

// Writes `bytes` to the scratch file `name` (replacing it) and returns its path.
inline std::string write_scratch(std::string_view bytes, std::string_view name = "input") {
    std::string path = scratch_dir() + "/" + std::string(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) fail("cannot write " + path);
    return path;
}

inline std::string bits(double x) {
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(u));
    return buf;
}

// Everything a caller can see of an error.
inline std::string describe(const HostError& e) {
    std::string s = "kind " + std::to_string(static_cast<int>(e.kind())) + " [" + e.what() + "] [" + e.context() + "]";
    if (e.kind() == ErrorKind::OS) s += " errno " + std::to_string(e.os_errno) + " " + e.filename;
    if (e.kind() == ErrorKind::UnicodeDecode) {
        s += " " + e.encoding + " " + std::to_string(e.start) + ".." + std::to_string(e.end) + " of " +
             std::to_string(e.object.size()) + " bytes: " + e.reason;
        check(e.start < e.end && e.end <= e.object.size(), "decoding error span outside its object: " + s);
    }
    return s;
}

// Runs `f`; the description of the HostError it raised, or nothing.
template <class F>
std::optional<std::string> error_of(F&& f) {
    try {
        f();
    } catch (const HostError& e) {
        return describe(e);
    }
    return std::nullopt;
}

// A spectrum table as text, to compare two readings by: scans in order, titles, headers and,
// with `peaks`, every peak to the bit.
inline std::string dump(const SpectrumTable& table, bool peaks) {
    std::string s;
    for (const auto& [scan, rec] : table) {
        s += "scan " + std::to_string(scan) + " keys " + std::to_string(static_cast<int>(rec.keys)) + "\n";
        for (const auto& t : rec.titles) s += " title [" + t + "]\n";
        for (const auto& h : rec.headers) s += " header [" + h + "]\n";
        if (!peaks) continue;
        for (const auto& p : rec.peaks) s += " " + bits(p.mz) + " " + bits(p.intensity) + "\n";
    }
    return s;
}

// A record's peaks hold every m/z once (0.0 and -0.0 being one; a NaN never equals another).
inline void check_distinct_mz(const SpectrumTable& table) {
    std::vector<double> mz;
    for (const auto& [scan, rec] : table) {
        mz.clear();
        for (const auto& p : rec.peaks) {
            if (!std::isnan(p.mz)) mz.push_back(p.mz);
        }
        std::sort(mz.begin(), mz.end());
        check(std::adjacent_find(mz.begin(), mz.end()) == mz.end(), "an m/z twice in scan " + std::to_string(scan));
    }
}

} // namespace vombrelle::fuzz
