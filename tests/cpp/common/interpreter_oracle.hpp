// Runs a batch of requests through the interpreter the module is built for, so that tests can
// require the core's answers to be identical to the interpreter's own.
//
// Requests and answers are one line each. Texts travel hex-encoded UTF-8 and doubles as the hex of
// their big-endian bits, so that nothing is lost or reinterpreted on the way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vombrelle::test {

std::string hex_encode(std::string_view bytes);
std::string hex_bits(double x);

// Writes `script` and the request lines to a fresh temporary folder, runs the interpreter on
// them (isolated mode, no network, nothing from the environment) and returns its answer lines.
// Fails the calling test (and returns nothing) when the interpreter cannot run.
std::vector<std::string> ask_interpreter(const std::string& script, const std::vector<std::string>& requests);

} // namespace vombrelle::test
