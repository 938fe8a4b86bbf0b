// The MGF parser on any bytes, three ways: from a file storing the peaks, from a file checking
// them only, and (for valid UTF-8) from memory. All three must fail alike, with the same message
// and line, or build the same table (the check-only pass without peaks).
//
// The file is read as read_mgf reads it (its peak lines by the reader's inner loop), but with a
// small block (varied by the input's length), so that lines straddle refills; read_mgf's own 1 MiB
// block would cost a fresh, zeroed mapping under AddressSanitizer on every input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/text_file.hpp"
#include "fuzz_support.hpp"
#include "readers/mgf.hpp"

using namespace vombrelle;
using namespace vombrelle::fuzz;


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string path = write_scratch(text, "input.mgf");
    const std::size_t block = size % 2 ? 16 : 4096;

    SpectrumTable kept, checked;
    const auto keep_error = error_of([&] { kept = read_mgf(path, PeakStorage::Keep, block); });
    const auto check_error = error_of([&] { checked = read_mgf(path, PeakStorage::CheckOnly, block); });
    check(keep_error == check_error, "storing and checking passes fail differently: " + keep_error.value_or("none") +
                                         " / " + check_error.value_or("none"));
    if (!keep_error) {
        check(dump(kept, false) == dump(checked, false), "storing and checking passes build different tables");
        check_distinct_mz(kept);
    }

    std::size_t bad_start, bad_end;
    const char* reason;
    if (!check_utf8(text, bad_start, bad_end, reason)) return 0;
    SpectrumTable parsed;
    const auto memory_error = error_of([&] { parsed = parse_mgf(text, path, PeakStorage::Keep); });
    check(memory_error == keep_error, "file and memory readings fail differently: " + keep_error.value_or("none") +
                                          " / " + memory_error.value_or("none"));
    if (!keep_error) check(dump(kept, true) == dump(parsed, true), "file and memory readings build different tables");
    return 0;
}
