#include "brain/physics.h"

#include <limits>

namespace perchkin {

MotionOutcome step_motion(Buddy&, const WorldView&) { return MotionOutcome::none; }
MotionOutcome keep_support(Buddy&, const WorldView&) { return MotionOutcome::none; }
void start_falling(Buddy& b) {
  b.mode = BuddyMode::fall;
  b.support.reset();
  b.vx = b.vy = 0.0;
  b.air_drag = 3.0;
}
Support ceiling_support(const Buddy&, const WorldView&) { return {}; }
void leap_to(Buddy&, double, double) {}
void clamp_leap_target(const Buddy&, const WorldView&, double&, double&) {}
void hop(Buddy&, double, double, double, double, double, std::optional<Support>) {}
void carry_to(Buddy&, double, double, double) {}
void release(Buddy&) {}
double shift_x(Buddy&, double, double, double) { return 0.0; }
void collide_crew(Crew&, const WorldView&) {}
bool may_stand_on(std::uint32_t, std::int64_t, SurfaceKind, const WorldView&) { return true; }
double blocker_distance(const Buddy&, const WorldView&, const BuddySummary** blocker) {
  if (blocker) *blocker = nullptr;
  return std::numeric_limits<double>::infinity();
}
void build_world_view(WorldView&, const Crew&, std::span<const Support>, double, double, double,
                      double, double, double) {}
const Support* find_platform(const WorldView&, std::int64_t, SurfaceKind) { return nullptr; }

}  // namespace perchkin
