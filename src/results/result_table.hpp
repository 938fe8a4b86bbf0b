// The result table: a fixed header line, then one tab-separated row per ScoredCrossLinkLine in
// list order (its fields 0 and 1, then fields 4 to the last: the class and the PSM confidence
// letters are not shown). UTF-8, each line ended by one "\n".
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vombrelle {

extern const std::string_view kResultTableHeader;  // without its line feed

// Appends the row of one line and its line feed. Edge whitespace other than tabs is dropped first;
// edge tabs are empty fields and stay in their columns.
void append_result_row(std::string& out, std::string_view line);

// Writes the table to `path` as a whole: the old file stays untouched until the new one is
// complete, then the new one replaces it (a symbolic link keeps pointing at it, permission bits
// carry over). Raises the host's OS error when the file cannot be written.
void write_XL(std::span<const std::string_view> lines, const std::string& path);

} // namespace vombrelle
