// Hand-built spectrum tables for the rescue spectrum generation tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/scan_table.hpp"

namespace vombrelle::rescue_mgf::testing {

inline SpectrumRecord record(std::vector<std::string> headers, std::vector<Peak> peaks = {},
                             std::vector<std::string> titles = {}) {
    SpectrumRecord r;
    r.keys = RecordKeys::IonMassTitleHeader;
    if (titles.empty() && !headers.empty()) titles.push_back("t");
    r.titles = std::move(titles);
    r.headers = std::move(headers);
    r.peaks = std::move(peaks);
    return r;
}

// scan -> header text, one header each.
inline SpectrumTable table(const std::vector<std::pair<std::int64_t, std::string>>& scans) {
    SpectrumTable t;
    for (const auto& [scan, header] : scans) t.insert_or_assign(scan, record({header}));
    return t;
}

} // namespace vombrelle::rescue_mgf::testing
