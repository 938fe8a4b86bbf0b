// Decoy removal: rebuilds ScoredCrossLinkLines without their decoy protein identifiers (fields 9
// and 12) and without the descriptions at the same positions (fields 10 and 13). No line is
// dropped; every rebuilt line ends with one "\n".
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vombrelle {

// One line rebuilt: fields stripped, ";" lists rejoined without blanks. Raises the host's index
// error for a line of fewer than 14 fields. An identifier kept without a description at its
// position (identifiers and descriptions are de-duplicated separately upstream, so the lists can
// differ in length) is kept and adds no description.
std::string remove_random_line(std::string_view line);

std::vector<std::string> remove_random(std::span<const std::string_view> lines);

} // namespace vombrelle
