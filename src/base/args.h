// Reading a command's arguments: one reader for number members, used by every command.
#pragma once

#include "base/json.h"
#include "base/status.h"

#include <optional>
#include <string_view>

namespace perchkin {

// Any JSON number is used as a double; an absent member gives the fallback; anything else,
// null included, fails with "{key} must be a number".
Result<double> number_arg(const json& args, std::string_view key, double fallback);
// The same for an argument that must be there: absent fails too.
Result<double> required_number_arg(const json& args, std::string_view key);
// The same where absent means "not given" rather than a fixed value.
Result<std::optional<double>> optional_number_arg(const json& args, std::string_view key);

}  // namespace perchkin
