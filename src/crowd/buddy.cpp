#include "crowd/buddy.h"

#include "base/text.h"

#include <cmath>

namespace perchkin {

const char* mode_name(BuddyMode m) {
  switch (m) {
    case BuddyMode::idle: return "idle";
    case BuddyMode::walk: return "walk";
    case BuddyMode::sit: return "sit";
    case BuddyMode::sleep: return "sleep";
    case BuddyMode::type: return "type";
    case BuddyMode::act: return "act";
    case BuddyMode::chase: return "chase";
    case BuddyMode::fall: return "fall";
    case BuddyMode::hop: return "hop";
    case BuddyMode::held: return "held";
    case BuddyMode::slide: return "slide";
    case BuddyMode::drawing: return "drawing";
  }
  return "idle";
}

const char* surface_name(SurfaceKind k) {
  switch (k) {
    case SurfaceKind::floor: return "floor";
    case SurfaceKind::taskbar: return "taskbar";
    case SurfaceKind::window: return "window";
    case SurfaceKind::buddy: return "buddy";
    case SurfaceKind::drawn: return "drawn";
    case SurfaceKind::ceiling: return "ceiling";
    case SurfaceKind::none: break;
  }
  return "air";
}

namespace {

json rounded_or_null(double v) {
  if (!std::isfinite(v)) return nullptr;
  const double r = round_half_away(v);
  if (r >= 9.2e18 || r <= -9.2e18) return r;  // too large for an integer; still a number
  return static_cast<std::int64_t>(r);
}

}  // namespace

json Buddy::status() const {
  return json{
      {"id", id},
      {"mode", motion.mode == BuddyMode::act ? act_name(mind.act)
                                             : std::string_view(mode_name(motion.mode))},
      {"on", surface_name(motion.support ? motion.support->kind : SurfaceKind::none)},
      {"x", rounded_or_null(motion.x)},
      {"y", rounded_or_null(motion.y)},
      {"tint", color},
  };
}

StrokePoint pencil_home(const Buddy& b) {
  if (b.pencil.out) return {b.pencil.x, b.pencil.y};
  return {b.motion.x + b.motion.facing * 10.0 * b.motion.unit, b.motion.y - 2.5 * b.motion.unit};
}

}  // namespace perchkin
