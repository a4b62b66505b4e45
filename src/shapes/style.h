// The style arguments shared by the draw and turtle commands: "color", "width", "ttl".
#pragma once

#include "base/status.h"

#include <string>
#include <string_view>

#include "base/command_table.h"
#include "base/json.h"

namespace perchkin {

struct DrawStyle {
  std::string color = "red";  // colour text, at most 24 characters; read by parse_color_text
  double width = arg::width.fallback;  // 1 to 40, before the display scale
  double ttl = arg::ttl.fallback;      // seconds, 0 to 600; 0 keeps the line
};

using DrawStyleResult = Result<DrawStyle>;

// Reads the style from a command's arguments. An absent or null member takes its default; a
// "color" that is not a string is "red".
DrawStyleResult read_draw_style(const json& args);


}  // namespace perchkin
