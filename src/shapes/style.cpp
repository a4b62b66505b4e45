#include "shapes/style.h"

#include <algorithm>

#include "base/args.h"
#include "base/command_table.h"
#include "base/text.h"

namespace perchkin {

DrawStyleResult read_draw_style(const json& args) {
  DrawStyle result;
  if (const json* color = json_member(args, arg::color.name); color && color->is_string())
    result.color = first_chars(color->get_ref<const std::string&>(),
                               static_cast<std::size_t>(arg::color.max));
  const Result<double> width = number_arg(args, arg::width.name, result.width);
  if (!width.ok()) return width.status();
  result.width = std::clamp(*width, arg::width.min, arg::width.max);
  const Result<double> ttl = number_arg(args, arg::ttl.name, result.ttl);
  if (!ttl.ok()) return ttl.status();
  result.ttl = std::clamp(*ttl, arg::ttl.min, arg::ttl.max);
  return result;
}

}  // namespace perchkin
