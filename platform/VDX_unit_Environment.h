#pragma once
// The process environment, as the program's %NAME% references see it.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vdx {

// The value of an environment variable: an exact match of the name first,
// then the first variable whose name equals it without letter case.
std::optional<std::u16string> EnvironmentVariable(std::u16string_view name);

// Replaces every %NAME% reference whose name is a set variable by its value.
// An unknown reference, a lone "%" and an empty "%%" stay as written.
std::u16string ExpandEnvironmentText(std::u16string_view text);

// Every variable of the process environment as (name, value), in the order
// the environment holds them.
std::vector<std::pair<std::u16string, std::u16string>> EnvironmentVariables();

} // namespace vdx
