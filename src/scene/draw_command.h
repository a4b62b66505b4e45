// The draw and turtle commands: arguments in, one DrawJob (or a clear) out.
#pragma once

#include "crowd/buddy.h"
#include "base/json.h"
#include "base/status.h"

#include <optional>
#include <string>

namespace perchkin {

struct DrawPlan {
  std::optional<DrawJob> job;  // absent for clear
  bool clear = false;
  std::string reply;  // "drawing {kind}", "cleared", "drawing {n} points"
};

// Validates a draw command for buddy b; `scale` is the display scale. On failure nothing is
// queued.
Result<DrawPlan> plan_draw(const json& args, const Buddy& b, double scale);
// Validates and runs a turtle command for buddy b.
Result<DrawPlan> plan_turtle(const json& args, const Buddy& b, double scale);

// The 72-segment outline a hazard's sketch follows (73 points, closed).
std::vector<StrokePoint> hazard_outline(std::string_view kind, double x, double y, double size);

}  // namespace perchkin
