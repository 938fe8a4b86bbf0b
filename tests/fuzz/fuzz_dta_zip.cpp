// The DTA-zip reader, two ways by the input's first byte:
//   - odd: the rest is the archive file itself (damaged archives must fail with a HostError);
//   - even: the rest describes members (flags, name, bytes), which the harness zips with libzip
//     (stored, deflate or bzip2).
//     With ASCII names the result must be that of merging each scan's members, in archive order,
//     straight from the bytes the harness zipped: the skipped names, the table, or the first error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>
#include <zip.h>

#include "fuzz_support.hpp"
#include "readers/dta_zip.hpp"

using namespace vombrelle;
using namespace vombrelle::fuzz;

namespace {

struct Member {
    std::string name;
    std::string bytes;
    zip_int32_t method = ZIP_CM_STORE;
};

// flags (bit 0: deflate, bit 1: keep bytes beyond ASCII in the name, bit 2: bzip2 unless
// deflate), name length, name, two bytes of content length, content; at most 16 members.
std::vector<Member> parse_members(const std::uint8_t* p, const std::uint8_t* end, bool& ascii_names) {
    std::vector<Member> members;
    ascii_names = true;
    while (end - p >= 2 && members.size() < 16) {
        Member m;
        const std::uint8_t flags = *p++;
        const std::size_t wanted = *p++ % 40;
        const std::size_t name_len = std::min<std::size_t>(wanted, static_cast<std::size_t>(end - p));
        for (std::size_t i = 0; i < name_len; ++i) {
            char c = static_cast<char>(p[i]);
            if (!(flags & 2)) c = static_cast<char>(c & 0x7F);
            if (c == '\0') c = '.';  // libzip takes the name as a C string
            ascii_names = ascii_names && static_cast<unsigned char>(c) < 0x80;
            m.name += c;
        }
        p += name_len;
        std::size_t len = 0;
        if (end - p >= 2) {
            len = (p[0] | (p[1] << 8)) % 4096;
            p += 2;
        }
        len = std::min<std::size_t>(len, static_cast<std::size_t>(end - p));
        m.bytes.assign(reinterpret_cast<const char*>(p), len);
        p += len;
        m.method = (flags & 1) ? ZIP_CM_DEFLATE : (flags & 4) ? ZIP_CM_BZIP2 : ZIP_CM_STORE;
        members.push_back(std::move(m));
    }
    return members;
}

// Zips the members into `path`; drops those libzip refuses (a repeated name). False when the
// archive cannot be written at all.
bool write_zip(const std::string& path, std::vector<Member>& members) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (z == nullptr) return false;
    std::vector<Member> added;
    added.reserve(members.size());
    for (Member& m : members) {
        added.push_back(std::move(m));  // the buffer must live until zip_close
        Member& a = added.back();
        zip_source_t* src = zip_source_buffer(z, a.bytes.data(), a.bytes.size(), 0);
        const zip_int64_t index = src ? zip_file_add(z, a.name.c_str(), src, ZIP_FL_ENC_GUESS) : -1;
        if (index < 0) {
            if (src) zip_source_free(src);
            added.pop_back();
            continue;
        }
        zip_set_file_compression(z, static_cast<zip_uint64_t>(index), a.method, 0);
    }
    const bool ok = zip_close(z) == 0;
    if (!ok) zip_discard(z);
    members = std::move(added);
    return ok;
}

// Whether the 20 bytes before the archive's end record (the end of the last name in the
// directory) start with a zip64 locator's signature: such an archive is read as a zip64 one, as
// the interpreter reads it, and its members alone no longer say what is read.
bool looks_zip64(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.size() >= 42 && bytes.compare(bytes.size() - 42, 4, "PK\x06\x07") == 0;
}

struct Expected {
    std::vector<std::string> skipped;
    SpectrumTable table;
    std::optional<std::string> error;
};

// Select by name, then per scan (ascending) merge its members in archive order.
Expected expected_reading(const std::vector<Member>& members, const std::string& path) {
    Expected out;
    std::map<std::int64_t, std::vector<const Member*>> scans;
    out.error = error_of([&] {
        for (const Member& m : members) {
            if (auto scan = dta_scan_number(m.name)) scans[*scan].push_back(&m);
            else out.skipped.push_back(m.name);
        }
    });
    if (out.error) {
        out.skipped.clear();  // the names are reported only once every one was selected
        return out;
    }
    out.error = error_of([&] {
        for (const auto& [scan, list] : scans) {
            out.table.insert_or_assign(scan, SpectrumRecord{RecordKeys::TitleHeaderIonMass, {}, {}, {}});
            SpectrumRecord& rec = *out.table.find(scan);
            PeakMapBuilder peaks;
            peaks.attach(&rec.peaks);
            for (const Member* m : list) merge_dta_member(m->bytes, m->name, path + "/" + m->name, rec, peaks);
        }
    });
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string path = scratch_dir() + "/input.zip";
    std::vector<std::string> skipped;
    SpectrumTable table;
    if (data[0] & 1) {
        write_scratch(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), "input.zip");
        const auto error = error_of([&] { table = read_dta_zip(path, skipped); });
        if (!error) check_distinct_mz(table);
        return 0;
    }
    bool ascii_names;
    std::vector<Member> members = parse_members(data + 1, data + size, ascii_names);
    // libzip writes no file for an archive without members.
    if (!write_zip(path, members) || members.empty()) return 0;
    const auto error = error_of([&] { table = read_dta_zip(path, skipped); });
    if (!error) check_distinct_mz(table);
    if (!ascii_names) return 0;  // libzip chooses how such a name is flagged
    if (looks_zip64(path)) return 0;

    const Expected expected = expected_reading(members, path);
    check(error == expected.error, "archive and member-by-member readings fail differently: " + error.value_or("none") +
                                       " / " + expected.error.value_or("none"));
    check(skipped == expected.skipped, "skipped names differ");
    if (!error) check(dump(table, true) == dump(expected.table, true), "archive and members build different tables");
    return 0;
}
