#include "base/json.h"

namespace perchkin {

namespace {

// nlohmann has no depth limit, so scan the brackets first (outside strings). Valid JSON needs
// nothing more; invalid JSON is rejected by the parser anyway.
bool nesting_within_limit(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (char c : text) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kJsonMaxDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

}  // namespace

std::optional<json> parse_json(std::string_view text) {
  // nlohmann's reader takes a NUL byte for the end of the input and would ignore what follows.
  // A raw NUL is never valid JSON (not white space, and not allowed unescaped in a string).
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  if (!nesting_within_limit(text)) return std::nullopt;
  json value = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                           /*ignore_comments=*/false);
  if (value.is_discarded()) return std::nullopt;
  return value;
}

std::string dump_compact(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string dump_pretty(const json& value) {
  return value.dump(2, ' ', false, json::error_handler_t::replace);
}

std::optional<double> json_number(const json& value) {
  if (!value.is_number()) return std::nullopt;
  if (value.is_number_unsigned()) return static_cast<double>(value.get<std::uint64_t>());
  if (value.is_number_integer()) return static_cast<double>(value.get<std::int64_t>());
  return value.get<double>();
}

bool json_is_non_negative_integer(const json& value) {
  if (value.is_number_unsigned()) return true;
  return value.is_number_integer() && value.get<std::int64_t>() >= 0;
}

const json* json_member(const json& value, std::string_view key) {
  if (!value.is_object()) return nullptr;
  auto it = value.find(key);
  return it == value.end() ? nullptr : &*it;
}

}  // namespace perchkin
