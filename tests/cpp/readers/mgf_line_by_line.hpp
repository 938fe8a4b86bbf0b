// The MGF reader's oracle: the file read line by line, every line through MgfParser::feed(). The
// readers take the usual peak lines past feed() in an inner loop of their own (next_line_past_peaks);
// what they read must be what this reads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "common/errors.hpp"
#include "common/text_file.hpp"
#include "readers/mgf.hpp"

namespace vombrelle::test {

inline SpectrumTable read_mgf_line_by_line(const std::string& path, PeakStorage storage,
                                           std::size_t block_size = 1 << 20) {
    TextLineReader reader(path, block_size);
    SpectrumTable table;
    MgfParser parser(storage, [&table](MgfScanPart&& part) { add_scan_part(table, std::move(part)); });
    std::string_view line;
    try {
        while (reader.next(line)) parser.feed(line);
    } catch (HostError& e) {
        e.with_context(file_line_context(path, reader.line_number()));
        throw;
    }
    parser.finish();
    return table;
}

} // namespace vombrelle::test
