// The signatures of the module's 17 functions (names, parameters, calling forms, documentation
// texts), by name.
#pragma once

#include "module/binding.hpp"

namespace vombrelle::module {

// The signature of the module function `name` (a name outside the table is a programming error).
const Signature& signature(const char* name);

} // namespace vombrelle::module
