// One buddy's motion. Sections: helpers; keeping the support; walking and chasing; flight and
// landing; leaps and hops; carrying; sliding; the dispatch.
#include "brain/physics.h"

#include "crowd/body.h"
#include "brain/speech.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace perchkin {

namespace {

constexpr double kDt = kTick;
constexpr double kInf = std::numeric_limits<double>::infinity();
// Carry samples older than this are dropped; the list is also capped so that a pointer that
// reports many samples at one instant cannot grow it without end.
constexpr double kSampleWindow = 0.1;
constexpr std::size_t kMaxSamples = 64;

// Climbing, in units.
constexpr double kClimbLow = 14.0, kClimbHigh = 160.0;  // platform heights a chase hops up to
// Gravity 1 pulls at this many units/s².
constexpr double kGravityPull = 260.0;

double wrap_degrees(double a) {
  if (!std::isfinite(a)) return 0.0;
  a = std::fmod(a, 360.0);
  if (a < 0.0) a += 360.0;
  return a >= 360.0 ? 0.0 : a;
}

double signed_degrees(double a) {  // into (-180, 180]
  a = wrap_degrees(a);
  return a > 180.0 ? a - 360.0 : a;
}

int facing_of(const Buddy& b) { return b.motion.facing < 0 ? -1 : 1; }

// Whether hypot(x, y) < r, decided without the library call when the sum of squares lies far
// enough below r squared that no rounding of either side could change the answer. False when
// unsure (r tiny enough for its square to lose precision, squares that overflow, NaN): the
// caller then computes hypot itself. Every flying buddy asks this twice a tick.
bool surely_shorter(double x, double y, double r) {
  return r > 1e-100 && x * x + y * y < r * r * (1.0 - 1e-9);
}

double cap_speed(const Buddy& b) { return b.world.w.max_speed * b.motion.unit; }

// The side-wall range of the buddy's feet.
void wall_range(const Buddy& b, const WorldView& view, double& lo, double& hi) {
  lo = view.left + kHalfWidth * b.motion.unit;
  hi = std::max(view.right - kHalfWidth * b.motion.unit, lo);
}

void leave_support(Buddy& b) {
  b.motion.mode = BuddyMode::fall;
  b.motion.support.reset();
  b.motion.air_time = 0.0;
}

// Algorithm 1 without the fall: follows the support and tells whether it still holds.
bool follow_support(Buddy& b, const WorldView& view) {
  Support& s = *b.motion.support;
  if (s.kind == SurfaceKind::ceiling && b.world.w.gravity < 0.0) {
    s = ceiling_support(b, view);
    b.motion.y = s.top;
    return true;
  }
  const Support* p = find_platform(view, s.id, s.kind);
  if (!p || !may_stand_on(b.id, p->id, p->kind, view)) return false;
  // A dragged window carries its buddies; a resized one drops them.
  if (std::abs((p->right - p->left) - (s.right - s.left)) >= 1.0) return false;
  b.motion.x += p->left - s.left;
  if (b.motion.x < p->left - 1.0 || b.motion.x > p->right + 1.0) return false;
  // A buddy's back reaches past the screen edge when its carrier stands there; the rider keeps
  // its feet on the screen, or falls when no part of the back is left there.
  if (p->kind == SurfaceKind::buddy && (b.motion.x < view.left || b.motion.x > view.right)) {
    b.motion.x = std::clamp(b.motion.x, view.left, std::max(view.right, view.left));
    if (b.motion.x < p->left - 1.0 || b.motion.x > p->right + 1.0) return false;
  }
  s = *p;
  b.motion.y = p->top;
  return true;
}

// Leaving the support at its edge while walking or chasing.
MotionOutcome walk_off(Buddy& b, double v_px) {
  leave_support(b);
  b.motion.vx = 0.6 * v_px * facing_of(b);
  b.motion.vy = 0.0;
  b.motion.air_drag = kFallDrag;
  // The walk target stays: a walk across a gap goes on after the landing.
  return MotionOutcome::started_falling;
}

bool off_support(const Buddy& b) {
  return b.motion.x < b.motion.support->left || b.motion.x > b.motion.support->right;
}

// Walking and chasing speed in units/s: accelerates under negative friction, capped.
double ground_speed(Buddy& b, double base) {
  const WorldSettings& w = b.world.w;
  double v = w.speed * base;
  if (w.friction < 0.0) {
    b.mind.run_time += kDt;
    v *= 1.0 - w.friction * b.mind.run_time;
  } else {
    b.mind.run_time = 0.0;
  }
  return std::min(v, w.max_speed);
}

MotionOutcome step_walk(Buddy& b, const WorldView& view) {
  if (!b.mind.walk_target) return MotionOutcome::none;
  const double target = *b.mind.walk_target;
  if (target != b.motion.x) b.motion.facing = target > b.motion.x ? 1 : -1;
  const double v_px = ground_speed(b, 16.0) * b.motion.unit;
  const double step = v_px * kDt;
  const double free = blocker_distance(b, view, nullptr, step);
  bool stop = false;
  if (step >= free) {
    b.motion.x += std::max(free, 0.0) * facing_of(b);
    stop = true;
  } else if (std::abs(target - b.motion.x) <= step) {
    b.motion.x = target;
    stop = true;
  } else {
    b.motion.x += step * facing_of(b);
  }
  if (off_support(b)) return walk_off(b, v_px);
  if (!stop) return MotionOutcome::none;
  b.mind.walk_target.reset();
  b.motion.mode = BuddyMode::idle;
  return MotionOutcome::walk_stopped;
}

MotionOutcome step_chase(Buddy& b, const WorldView& view) {
  if (b.mind.now >= b.mind.chase_until) {
    b.mind.chase_until = b.mind.chase_from = 0.0;
    b.mind.partner.reset();
    b.motion.mode = BuddyMode::idle;
    return MotionOutcome::chase_ended;
  }
  double tx = view.cursor_x, ty = view.cursor_y;
  const BuddySummary* partner = b.mind.partner ? find_buddy(view, *b.mind.partner) : nullptr;
  if (partner) {
    tx = partner->x;
    ty = partner->y - 5.0 * partner->unit;
  }
  const double u = b.motion.unit;
  // A tagged buddy counts to itself before it runs.
  if (b.mind.now < b.mind.chase_from) {
    if (std::abs(tx - b.motion.x) > 2.0 * u) b.motion.facing = tx > b.motion.x ? 1 : -1;
    return MotionOutcome::none;
  }
  const double v_px = ground_speed(b, 38.0) * u;
  if (std::abs(tx - b.motion.x) > 2.0 * u) {
    b.motion.facing = tx > b.motion.x ? 1 : -1;
    const double step = std::min(v_px * kDt, std::abs(tx - b.motion.x));
    const BuddySummary* blocker = nullptr;
    const double free = blocker_distance(b, view, &blocker, step);
    const bool blocked = blocker && free < step && (!partner || blocker->id != partner->id);
    if (blocked && (tx - blocker->x) * b.motion.facing > 0.0 && b.mind.now >= b.mind.hop_ready) {
      leap_to(b, blocker->x + (2.0 * u + kPushReach * (u + blocker->unit)) * b.motion.facing,
              b.motion.y);
      b.mind.hop_ready = b.mind.now + 1.2;
      return MotionOutcome::none;
    }
    b.motion.x += std::min(step, std::max(free, 0.0)) * b.motion.facing;
  }
  const double above = b.motion.y - ty;
  if (std::abs(tx - b.motion.x) <= kPlatformReach * u && above >= kClimbLow * u &&
      above <= kClimbHigh * u && b.mind.now >= b.mind.hop_ready) {
    leap_to(b, tx, ty + 5.0 * u);
    b.mind.hop_ready = b.mind.now + 1.2;
    return MotionOutcome::none;
  }
  // Running off the edge keeps the chase's full pace, uncapped and unscaled by friction.
  if (off_support(b)) return walk_off(b, 38.0 * b.world.w.speed * u);
  return MotionOutcome::none;
}

// Impacts against the screen edges: a puff, and for hard ones dizzy stars and a "bonk".
void edge_impact(Buddy& b, double impact) {
  if (impact <= 150.0) return;
  b.push_event(PuffEvent{b.motion.x, b.motion.y, std::min(impact / 900.0, 1.0), true});
  if (impact > 500.0) {
    b.push_event(DizzyEvent{});
    chirp(b, "bonk", 0.4);
  }
}

MotionOutcome settle(Buddy& b, const Support& p) {
  b.motion.support = p;
  b.motion.y = p.top;
  b.motion.vy = 0.0;
  b.motion.angle = 0.0;
  b.motion.spin = 0.0;
  if (b.motion.thrown && std::abs(b.motion.vx) > 20.0 * b.motion.unit) {
    b.motion.mode = BuddyMode::slide;
    b.motion.slide_time = 0.0;
    return MotionOutcome::none;
  }
  b.motion.mode = BuddyMode::idle;
  return MotionOutcome::landed;
}

// A buddy below the desktop (a gap between monitors) is put on the nearest floor segment.
MotionOutcome rescue(Buddy& b, const WorldView& view) {
  const Support* best = nullptr;
  double best_d = kInf;
  for (std::size_t i = 0; i < view.surface_count; ++i) {
    const Support& p = view.platforms[i];
    if (p.kind != SurfaceKind::floor) continue;
    const double d = b.motion.x < p.left    ? p.left - b.motion.x
                     : b.motion.x > p.right ? b.motion.x - p.right
                                            : 0.0;
    if (d < best_d) {
      best_d = d;
      best = &p;
    }
  }
  if (!best) {
    // No floor at all yet: drop in again from the top rather than fall for ever.
    b.motion.y = view.top + kHeadHeight * b.motion.unit;
    b.motion.vy = 0.0;
    return MotionOutcome::none;
  }
  b.motion.x = std::clamp(b.motion.x, best->left, best->right);
  b.motion.support = *best;
  b.motion.y = best->top;
  b.motion.vx = b.motion.vy = 0.0;
  b.motion.angle = b.motion.spin = 0.0;
  b.motion.mode = BuddyMode::idle;
  return MotionOutcome::landed;
}

MotionOutcome land(Buddy& b, const WorldView& view, double y_before) {
  const double x = b.motion.x;
  double lowest_floor = -kInf;
  for_each_surface_near(view, x, x, [&](const Support& p) {
    if (p.kind == SurfaceKind::floor) lowest_floor = std::max(lowest_floor, p.top);
  });
  const Support* hit = nullptr;
  for_each_platform_near(view, x, x, [&](const Support& p) {
    const bool crossed = y_before <= p.top || (p.kind == SurfaceKind::floor &&
                                               p.top == lowest_floor && b.motion.vy >= 0.0);
    if (!crossed || b.motion.y < p.top || (hit && p.top >= hit->top)) return;
    if (may_stand_on(b.id, p.id, p.kind, view)) hit = &p;
  });
  if (!hit) {
    if (b.motion.y > view.bottom + kHeadHeight * b.motion.unit) return rescue(b, view);
    return MotionOutcome::none;
  }
  const Support p = *hit;
  b.motion.y = p.top;
  const double impact = std::max(b.motion.vy / b.motion.unit, 0.0);
  b.push_event(PuffEvent{b.motion.x, b.motion.y, std::min(impact / 900.0, 1.0), false});
  if (impact > (b.motion.thrown ? 70.0 : 320.0)) {
    const WorldSettings& w = b.world.w;
    const double cap = b.world.unleashed || w.bounce > 1.6 ? 1.0 : 0.92;
    b.motion.vy = -std::min(0.55 * w.bounce, cap) * b.motion.vy;
    b.motion.vx *= 0.8;
    b.motion.spin = std::clamp(b.motion.vx / b.motion.unit * 2.5, -900.0, 900.0);
    b.motion.thrown = true;
    b.motion.air_drag = std::max(b.motion.air_drag,
                                 kThrownDrag);  // a bounce from a plain fall keeps its drag
    b.motion.flight_peak = std::max(b.motion.flight_peak, impact);
    if (impact > 500.0) {
      b.push_event(DizzyEvent{});
      chirp(b, "bonk", 0.5);
    }
    return MotionOutcome::none;
  }
  return settle(b, p);
}

MotionOutcome step_flight(Buddy& b, const WorldView& view) {
  const WorldSettings& w = b.world.w;
  const double u = b.motion.unit;
  if (b.motion.support) {
    // Clinging to the ceiling since the last step: from now on it stands there.
    if (b.motion.support->kind == SurfaceKind::ceiling && w.gravity < 0.0) {
      b.motion.support = ceiling_support(b, view);
      b.motion.y = b.motion.support->top;
      b.motion.vx = b.motion.vy = 0.0;
      b.motion.angle = b.motion.spin = 0.0;
      b.motion.mode = BuddyMode::idle;
      return MotionOutcome::landed;
    }
    b.motion.support.reset();
  }
  b.motion.vy += w.gravity * kGravityPull * u * kDt;
  b.motion.air_time += kDt;
  if (w.friction >= 0.0 || b.motion.air_time > 5.0) {
    const double f = w.friction >= 0.0 ? w.friction : 1.0;
    b.motion.vx *= std::max(1.0 - f * b.motion.air_drag * kDt, 0.0);
  } else {
    const double grow = std::exp(-1.5 * w.friction * kDt);
    b.motion.vx *= grow;
    b.motion.vy *= grow;
  }
  if (!surely_shorter(b.motion.vx, b.motion.vy, cap_speed(b))) {
    const double speed = std::hypot(b.motion.vx, b.motion.vy);
    if (speed > cap_speed(b)) {
      const double k = cap_speed(b) / speed;
      b.motion.vx *= k;
      b.motion.vy *= k;
    }
  }
  const double y_before = b.motion.y;
  b.motion.x += b.motion.vx * kDt;
  b.motion.y += b.motion.vy * kDt;
  b.motion.angle = wrap_degrees(b.motion.angle + b.motion.spin * kDt);
  if (b.motion.thrown && !surely_shorter(b.motion.vx, b.motion.vy, b.motion.flight_peak * u))
    b.motion.flight_peak = std::max(b.motion.flight_peak, std::hypot(b.motion.vx, b.motion.vy) / u);

  double impact = 0.0;
  double lo, hi;
  wall_range(b, view, lo, hi);
  if (b.motion.x < lo || b.motion.x > hi) {
    impact = std::abs(b.motion.vx) / u;
    const bool left_wall = b.motion.x < lo;
    b.motion.x = left_wall ? lo : hi;
    b.motion.vx = 0.7 * std::abs(b.motion.vx) * (left_wall ? 1.0 : -1.0);
    b.motion.spin *= -0.7;
  }
  if (b.motion.y - kHeadHeight * u < view.top && b.motion.vy < 0.0) {
    b.motion.y = view.top + kHeadHeight * u;
    impact = std::max(impact, -b.motion.vy / u);
    if (w.gravity >= 0.0) {
      b.motion.vy = -0.7 * b.motion.vy;
    } else if (!b.motion.thrown || -b.motion.vy / u < 70.0) {
      b.motion.vy = 0.0;
      b.motion.spin = 0.0;
    } else {
      b.motion.vy = -std::min(0.55 * w.bounce, 0.92) * b.motion.vy;
    }
  }
  edge_impact(b, impact);
  if (w.gravity < 0.0 && b.motion.vy == 0.0 && b.motion.y <= view.top + kHeadHeight * u) {
    b.motion.support = ceiling_support(b, view);
    return MotionOutcome::none;
  }
  return land(b, view, y_before);
}

MotionOutcome step_hop(Buddy& b, const WorldView& view) {
  HopArc& h = b.motion.hop;
  h.elapsed += kDt;
  // Summed sixtieths fall a hair short of whole durations; a 0.5 s hop takes 30 steps.
  double t = h.duration > 0.0 ? h.elapsed / h.duration : 1.0;
  t = t > 1.0 - 1e-9 ? 1.0 : t;
  b.motion.x = h.x0 + (h.x1 - h.x0) * t;
  b.motion.y = h.y0 + (h.y1 - h.y0) * t - 4.0 * h.height * t * (1.0 - t);
  b.motion.angle = wrap_degrees(h.spin_total * t);
  if (t < 1.0) return MotionOutcome::none;
  b.motion.angle = 0.0;
  std::optional<Support> target;
  if (h.target) {
    const Support& want = *h.target;
    if (want.kind == SurfaceKind::ceiling) {
      if (b.world.w.gravity < 0.0) target = ceiling_support(b, view);
    } else if (const Support* p = find_platform(view, want.id, want.kind);
               p && may_stand_on(b.id, p->id, p->kind, view)) {
      target = *p;
      // A buddy may have walked on while we were in the air; its rider stays on the screen.
      if (p->kind == SurfaceKind::buddy) {
        const double lo = std::max(p->left, view.left), hi = std::min(p->right, view.right);
        b.motion.x =
            lo <= hi ? std::clamp(b.motion.x, lo, hi) : std::clamp(b.motion.x, p->left, p->right);
      }
    }
  }
  h.target.reset();
  if (target && b.motion.x >= target->left - 1.0 && b.motion.x <= target->right + 1.0) {
    b.motion.support = target;
    b.motion.y = target->top;
    b.push_event(PuffEvent{b.motion.x, b.motion.y, 0.15, false});
    b.motion.mode = BuddyMode::idle;
    b.mind.act_time = 0.3;
    return MotionOutcome::hop_landed;
  }
  b.motion.y = h.y1;
  start_falling(b);
  return MotionOutcome::none;
}

MotionOutcome step_held(Buddy& b) {
  const double u = b.motion.unit;
  const double target = std::clamp(b.motion.vx / u * 0.12, -60.0, 60.0);
  b.motion.spin += (-7.0 * b.motion.spin + 60.0 * (target - signed_degrees(b.motion.angle))) * kDt;
  b.motion.angle = wrap_degrees(b.motion.angle + b.motion.spin * kDt);
  if (std::abs(b.motion.vx) > 30.0 * u) b.motion.facing = b.motion.vx > 0.0 ? 1 : -1;
  if (!b.mind.hold_line_said && b.mind.now - b.motion.grab_time >= 5.0) {
    b.mind.hold_line_said = true;
    chirp(b, "hold_long", 0.7);
  }
  return MotionOutcome::none;
}

MotionOutcome step_slide(Buddy& b, const WorldView& view) {
  const WorldSettings& w = b.world.w;
  const double u = b.motion.unit;
  b.motion.x += b.motion.vx * kDt;
  b.motion.slide_time += kDt;
  const double decay =
      b.motion.slide_time > 5.0 ? 0.9200444146293233 : std::exp(-5.0 * w.friction * kDt);
  b.motion.vx = std::clamp(b.motion.vx * decay, -cap_speed(b), cap_speed(b));
  double lo, hi;
  wall_range(b, view, lo, hi);
  if (b.motion.x < lo || b.motion.x > hi) {
    b.motion.x = std::clamp(b.motion.x, lo, hi);
    b.motion.vx *= -0.7;
  }
  if (b.rng.chance(0.2)) b.push_event(DustEvent{b.motion.x, b.motion.y});
  if (!b.motion.support || !follow_support(b, view)) {
    leave_support(b);
    b.motion.vy = 0.0;
    throw_buddy(b);
    return MotionOutcome::none;
  }
  if (std::abs(b.motion.vx) < 20.0 * u) {
    b.motion.vx = 0.0;
    b.motion.mode = BuddyMode::idle;
    return MotionOutcome::slide_ended;
  }
  return MotionOutcome::none;
}

}  // namespace

// Where shift_x may move a buddy: its support, or the bounds when airborne.
void shift_range(const Buddy& b, double lo, double hi, double& a, double& z) {
  if (b.motion.support) {
    a = b.motion.support->left;
    z = b.motion.support->right;
    // Pushed along a buddy's back, a rider stops at the screen edge.
    if (b.motion.support->kind == SurfaceKind::buddy && std::max(a, lo) <= std::min(z, hi)) {
      a = std::max(a, lo);
      z = std::min(z, hi);
    }
  } else {
    a = lo + kHalfWidth * b.motion.unit;
    z = std::max(hi - kHalfWidth * b.motion.unit, a);
  }
}

Support ceiling_support(const Buddy& b, const WorldView& view) {
  Support s;
  s.id = kCeilingId;
  s.kind = SurfaceKind::ceiling;
  s.left = view.left + kHalfWidth * b.motion.unit;
  s.right = std::max(view.right - kHalfWidth * b.motion.unit, s.left);
  s.top = view.top + kHeadHeight * b.motion.unit;
  return s;
}

void start_falling(Buddy& b) {
  leave_support(b);
  b.motion.vx = b.motion.vy = 0.0;
  b.motion.air_drag = kFallDrag;
}

MotionOutcome keep_support(Buddy& b, const WorldView& view) {
  if (b.motion.support && follow_support(b, view)) return MotionOutcome::none;
  start_falling(b);
  return MotionOutcome::started_falling;
}

MotionOutcome step_motion(Buddy& b, const WorldView& view) {
  if (is_grounded(b.motion.mode)) {
    if (keep_support(b, view) == MotionOutcome::started_falling) return MotionOutcome::started_falling;
    if (b.motion.mode == BuddyMode::walk) return step_walk(b, view);
    if (b.motion.mode == BuddyMode::chase) return step_chase(b, view);
    return MotionOutcome::none;
  }
  switch (b.motion.mode) {
    case BuddyMode::fall:
      return step_flight(b, view);
    case BuddyMode::hop:
      return step_hop(b, view);
    case BuddyMode::held:
      return step_held(b);
    case BuddyMode::slide:
      return step_slide(b, view);
    default:
      return MotionOutcome::none;  // drawing flies its pencil elsewhere
  }
}

void leap_to(Buddy& b, double tx, double ty) {
  if (!std::isfinite(tx)) tx = b.motion.x;
  if (!std::isfinite(ty)) ty = b.motion.y;
  const double u = b.motion.unit;
  b.push_event(DustEvent{b.motion.x, b.motion.y});
  leave_support(b);
  b.motion.hop.target.reset();
  const double apex = std::min(b.motion.y, ty) - 30.0 * u;
  const double g = std::max(std::abs(b.world.w.gravity), 0.2) * kGravityPull * u;
  const double t_up = std::sqrt(2.0 * (b.motion.y - apex) / g);
  const double t_down = std::sqrt(2.0 * std::max(ty - apex, 0.0) / g);
  b.motion.vx = (tx - b.motion.x) / (t_up + t_down);
  b.motion.vy = -g * t_up;
  b.motion.spin = 0.0;
  b.motion.thrown = false;
  b.motion.hurled = false;
  b.motion.air_drag = 0.0;  // a leap keeps its aim
  b.motion.flight_peak = 0.0;
  if (b.motion.vx != 0.0) b.motion.facing = b.motion.vx > 0.0 ? 1 : -1;
}

void clamp_leap_target(const Buddy& b, const WorldView& view, double& tx, double& ty) {
  double lo, hi;
  wall_range(b, view, lo, hi);
  tx = std::isfinite(tx) ? std::clamp(tx, lo, hi) : b.motion.x;
  const double top = view.top + kHeadHeight * b.motion.unit;
  ty = std::isfinite(ty) ? std::clamp(ty, top, std::max(view.bottom, top)) : b.motion.y;
}

void hop(Buddy& b, double to_x, double to_y, double height, double duration, double spin_total,
         std::optional<Support> target) {
  if (!target || !std::isfinite(to_x) || !std::isfinite(to_y)) {
    b.motion.hop.target.reset();
    start_falling(b);
    return;
  }
  b.motion.hop = HopArc{b.motion.x,
                        b.motion.y,
                        to_x,
                        to_y,
                        std::isfinite(height) ? height : 0.0,
                        std::isfinite(duration) ? duration : 0.0,
                        0.0,
                        std::isfinite(spin_total) ? spin_total : 0.0,
                        std::move(target)};
  b.motion.mode = BuddyMode::hop;
  b.motion.support.reset();
  b.motion.vx = b.motion.vy = 0.0;
}

void carry_to(Buddy& b, double now, double px, double py) {
  if (!std::isfinite(now) || !std::isfinite(px) || !std::isfinite(py)) return;
  auto& s = b.motion.pointer_samples;
  s.push_back({now, px, py});
  const auto stale = std::find_if(s.begin(), s.end(), [&](const PointerSample& p) {
    return p.t >= now - kSampleWindow;
  });
  s.erase(s.begin(), stale);
  if (s.size() > kMaxSamples) s.erase(s.begin(), s.end() - kMaxSamples);
  const PointerSample& first = s.front();
  const double dt = now - first.t;
  b.motion.vx = dt > 0.0 ? (px - first.x) / dt : 0.0;
  b.motion.vy = dt > 0.0 ? (py - first.y) / dt : 0.0;
  b.motion.x = px + b.motion.grab_dx;
  b.motion.y = py + b.motion.grab_dy;
}

void release(Buddy& b) {
  const double u = b.motion.unit;
  if (!std::isfinite(b.motion.vx) || !std::isfinite(b.motion.vy)) b.motion.vx = b.motion.vy = 0.0;
  double speed = std::hypot(b.motion.vx, b.motion.vy);
  if (speed > cap_speed(b)) {
    const double k = cap_speed(b) / speed;
    b.motion.vx *= k;
    b.motion.vy *= k;
    speed = cap_speed(b);
  }
  leave_support(b);
  b.motion.pointer_samples.clear();
  throw_buddy(b);
  b.motion.hurled = true;
  b.motion.flight_peak = speed / u;
  b.motion.spin = std::clamp(b.motion.vx / u * 2.5, -900.0, 900.0);
  const double units = speed / u;
  if (units < 60.0)
    chirp(b, "drop", 0.4);
  else if (units > 250.0)
    chirp(b, "throw", 0.8);
  else
    trigger(b, "throw");  // a gentle throw: only the user's own line for it
}

double shift_x(Buddy& b, double dx, double lo, double hi) {
  if (b.motion.mode == BuddyMode::hop || b.motion.mode == BuddyMode::held ||
      b.motion.mode == BuddyMode::drawing)
    return 0.0;
  double a, z;
  shift_range(b, lo, hi, a, z);
  return shift_within(b.motion.x, dx, a, z);
}

}  // namespace perchkin
