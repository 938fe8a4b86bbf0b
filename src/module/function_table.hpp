// The module's function table (names, parameters, calling forms, documentation texts).
#pragma once

#include <vector>

#include "module/binding.hpp"

namespace vombrelle::module {

const std::vector<FunctionSpec>& function_table();
const FunctionSpec& function_spec(const char* name);

} // namespace vombrelle::module
