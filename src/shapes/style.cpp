#include "shapes/style.h"

#include <algorithm>

#include "base/args.h"
#include "base/text.h"

namespace perchkin {

DrawStyleResult read_draw_style(const json& args) {
  DrawStyle result;
  if (const json* color = json_member(args, "color"); color != nullptr && color->is_string()) {
    result.color = first_chars(color->get_ref<const std::string&>(), 24);
  }
  const Result<double> width = number_arg(args, "width", result.width);
  if (!width.ok()) return width.status();
  result.width = std::clamp(*width, 1.0, 40.0);
  const Result<double> ttl = number_arg(args, "ttl", result.ttl);
  if (!ttl.ok()) return ttl.status();
  result.ttl = std::clamp(*ttl, 0.0, 600.0);
  return result;
}

}  // namespace perchkin
