// The MGF parser on any bytes, three ways: from a file storing the peaks, from a file checking
// them only, and from the file fed to the parser line by line, which the readers' inner loop for
// the usual peak lines must not tell apart. All three must fail alike, with the same message and
// line, or build the same table (the check-only pass without peaks).
//
// The file is read as read_mgf reads it (its peak lines by the reader's inner loop), but with a
// small block (varied by the input's length), so that lines straddle refills; read_mgf's own 1 MiB
// block would cost a fresh, zeroed mapping under AddressSanitizer on every input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../cpp/readers/mgf_line_by_line.hpp"
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

    SpectrumTable fed;
    const auto fed_error = error_of([&] { fed = test::read_mgf_line_by_line(path, PeakStorage::Keep, block); });
    check(fed_error == keep_error, "the inner loop and the line-by-line parser fail differently: " +
                                       keep_error.value_or("none") + " / " + fed_error.value_or("none"));
    if (!keep_error) {
        check(dump(kept, true) == dump(fed, true), "the inner loop and the line-by-line parser build different tables");
    }
    return 0;
}
