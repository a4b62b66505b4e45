// JSON for every document the program reads or writes. nlohmann::json keeps object keys in
// std::map order, which is ascending byte order, so everything we write comes out sorted.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

using json = nlohmann::json;

inline constexpr int kJsonMaxDepth = 128;

// Parses one JSON value; white space may surround it, anything else after it is an error, and
// nesting deeper than 128 levels is an error. Never throws.
std::optional<json> parse_json(std::string_view text);

// Compact ("{"a":1}") and two-space pretty output. Invalid UTF-8 in strings is replaced, never
// thrown about.
std::string dump_compact(const json& value);
std::string dump_pretty(const json& value);

// Number accessors that keep the three JSON number kinds apart.
std::optional<double> json_number(const json& value);  // any JSON number as a double
bool json_is_non_negative_integer(const json& value);

// Looks up a member of an object; nullptr when value is not an object or lacks the key.
const json* json_member(const json& value, std::string_view key);

}  // namespace perchkin
