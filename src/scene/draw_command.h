// The draw and turtle commands: their arguments are read once into a request, and the
// geometry is planned from the request into one DrawJob (or a clear).
#pragma once

#include "crowd/buddy.h"
#include "base/json.h"
#include "base/status.h"
#include "logo/turtle_command.h"
#include "shapes/path_point.h"
#include "shapes/style.h"

#include <optional>
#include <string>

namespace perchkin {

struct DrawPlan {
  std::optional<DrawJob> job;  // absent for clear
  bool clear = false;
  std::string reply;  // "drawing {kind}", "cleared", "drawing {n} points"
};

// A draw command's arguments, checked: what each kind needs is there.
struct DrawRequest {
  std::string kind{};            // one of kDrawKinds
  PathPoints points{};           // each coordinate within +-20000
  std::string text{};            // kind text: trimmed, at most 200 characters
  std::optional<double> size{};  // text and hazards; absent takes the kind's own size
  DrawStyle style{};
  bool ttl_given = false;        // hazards and platforms have their own ttl otherwise
};

// Reads and checks a draw command's arguments in the order their messages are promised.
Result<DrawRequest> read_draw_request(const json& args);
// The pencil's job for buddy b; `scale` is the display scale. On failure nothing is queued.
Result<DrawPlan> plan_draw_request(const DrawRequest& request, const Buddy& b, double scale);
Result<DrawPlan> plan_turtle_request(const logo::TurtleRequest& request, const Buddy& b,
                                     double scale);
// Both steps at once, from the command's arguments.
Result<DrawPlan> plan_draw(const json& args, const Buddy& b, double scale);
Result<DrawPlan> plan_turtle(const json& args, const Buddy& b, double scale);

// The 72-segment outline a hazard's sketch follows (73 points, closed).
std::vector<StrokePoint> hazard_outline(std::string_view kind, double x, double y, double size);

}  // namespace perchkin
