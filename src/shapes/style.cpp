#include "shapes/style.h"

#include <algorithm>

#include "base/text.h"

namespace perchkin {

NumberArg read_number_arg(const json& args, std::string_view key) {
  const json* member = json_member(args, key);
  if (member == nullptr || member->is_null()) return {};
  const std::optional<double> number = json_number(*member);
  if (!number) return {true, 0.0, false};
  return {true, *number, true};
}

DrawStyleResult read_draw_style(const json& args) {
  DrawStyle result;
  if (const json* color = json_member(args, "color"); color != nullptr && color->is_string()) {
    result.color = first_chars(color->get_ref<const std::string&>(), 24);
  }
  const NumberArg width = read_number_arg(args, "width");
  if (!width.ok) return {{}, "width must be a number"};
  if (width.present) result.width = std::clamp(width.value, 1.0, 40.0);
  const NumberArg ttl = read_number_arg(args, "ttl");
  if (!ttl.ok) return {{}, "ttl must be a number"};
  if (ttl.present) result.ttl = std::clamp(ttl.value, 0.0, 600.0);
  return result;
}

}  // namespace perchkin
