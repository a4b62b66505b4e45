// Motion against surfaces: keeping a support, walking, chasing, free flight with landing and
// bounces, leaps, scripted hops, the pointer carry with its release, sliding, and the crowd's
// push-apart pass. One call advances one buddy by one 1/60 s step.
#pragma once

#include "base/tick.h"
#include "brain/world_view.h"
#include "crowd/buddy.h"
#include "crowd/crew.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>

namespace perchkin {


// What the behaviour layer must react to after a motion step.
enum class MotionOutcome : std::uint8_t {
  none,
  landed,           // settled on a platform: run the landing reaction
  walk_stopped,     // walk reached its target or a blocker: now idle, set a pause
  chase_ended,      // the chase window closed: now idle, set a pause
  hop_landed,       // a hop reached its target: now idle (act_time 0.3); play a queued act / resume chase
  slide_ended,      // a slide came to rest: run the landing reaction
  started_falling,  // a grounded buddy lost its support (re-queue sleep if it slept)
};

// The motion half of the brain step, dispatched on b.mode. Grounded modes first keep their
// support; a buddy that loses it falls and the outcome is started_falling.
MotionOutcome step_motion(Buddy& b, const WorldView& view);
// Keeps a grounded buddy on its support (carried along by a moving window); falls otherwise.
MotionOutcome keep_support(Buddy& b, const WorldView& view);
// Mode fall, no support, still, normal drag.
void start_falling(Buddy& b);
// The ceiling support for this buddy in this view.
Support ceiling_support(const Buddy& b, const WorldView& view);

// A ballistic jump whose path passes over (tx, ty).
void leap_to(Buddy& b, double tx, double ty);
// The leap command's target range: [left + 8u, right - 8u] x [top + 10u, bottom].
void clamp_leap_target(const Buddy& b, const WorldView& view, double& tx, double& ty);
// A scripted arc to (to_x, to_y); without a target support the buddy falls at once.
void hop(Buddy& b, double to_x, double to_y, double height, double duration, double spin_total,
         std::optional<Support> target);

// The input layer's per-tick carry: records a pointer sample at `now`, keeps the last 0.1 s,
// sets the drag velocity (vx, vy) and moves the buddy to the pointer plus the grab offset.
void carry_to(Buddy& b, double now, double px, double py);
// End of a carry: a throw (60 units/s or more) or a drop.
void release(Buddy& b);

// Where shift_x may move a buddy: [a, z] of its support, or [lo + 8u, hi - 8u] when airborne.
void shift_range(const Buddy& b, double lo, double hi, double& a, double& z);
// Moves x by dx towards [a, z] but never against dx, even from a little outside the range;
// returns the distance moved. Inline: the crowd pass calls it for every push.
inline double shift_within(double& x, double dx, double a, double z) {
  if (!std::isfinite(dx) || dx == 0.0) return 0.0;
  const double nx = dx > 0.0 ? std::max(x, std::min(x + dx, z)) : std::min(x, std::max(x + dx, a));
  const double moved = nx - x;
  x = nx;
  return moved;
}
// Moves horizontally inside the support (or inside [lo + 8u, hi - 8u] when airborne); returns
// the distance moved. Buddies hopping, held or drawing do not move.
double shift_x(Buddy& b, double dx, double lo, double hi);
// How the crowd pass finds its pairs. Both give the same pushes in the same order; `plain`
// scans every neighbour within the sweep window and is kept as the reference for tests and for
// crowds with positions too wild for the banded search.
enum class CrowdSweep : std::uint8_t { banded, plain };
// The crowd's push-apart pass, press times and climbing out of a crush; once per tick.
void collide_crew(Crew& crew, const WorldView& view, CrowdSweep sweep = CrowdSweep::banded);
// One crowd pass's pushes, recorded so that they can be replayed alone: what the pushes cost
// with every pair already known. Positions and ranges are in the pass's x order.
struct CrowdPushTrace {
  std::vector<double> x, lo, hi, unit;  // before the pass
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;  // in the order pushed
  std::vector<double> x_after;          // as the pass left them
  bool uniform = false;
  double uniform_unit = 1.0;
};
// The next crowd pass's pushes, the crew left as it is; empty when the pass would take the plain
// scan or collide is off.
CrowdPushTrace trace_crowd_pushes(const Crew& crew, const WorldView& view);
// Replays exactly the traced pushes on a copy of the starting positions, left in `x`.
void replay_crowd_pushes(const CrowdPushTrace& trace, std::vector<double>& x);
// A buddy never stands on itself nor on a buddy standing on it.
bool may_stand_on(std::uint32_t buddy_id, std::int64_t platform_id, SurfaceKind kind,
                  const WorldView& view);
// Free distance ahead of a grounded buddy before it meets another on the same support
// (infinity when none); *blocker receives that buddy's summary or null. Only buddies whose free
// distance may be below `horizon` are looked at, so a walker scans just its next step.
double blocker_distance(const Buddy& b, const WorldView& view, const BuddySummary** blocker,
                        double horizon = std::numeric_limits<double>::infinity());

// Builds the tick's view: bounds, cursor, the platform table (surfaces, then grounded buddies
// while collide is on), the indices, the per-buddy summary and who stands on whom. The view's
// other sensing fields (now, idle time, keys, hour) are left to the caller.
void build_world_view(WorldView& view, const Crew& crew, std::span<const Support> surfaces,
                      double left, double top, double right, double bottom, double cursor_x,
                      double cursor_y);

}  // namespace perchkin
