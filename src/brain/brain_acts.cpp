// Acts and the command entry points (act, walk, say, leap), plus the small state changes the
// brain step shares with them.
#include "brain/brain.h"
#include "brain/brain_detail.h"
#include "brain/physics.h"
#include "brain/speech.h"
#include "base/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace perchkin {

namespace {

struct ActLength {
  Act act;
  double seconds;
};

constexpr std::array<ActLength, 15> kActLengths = {{
    {Act::idle, 3.0},
    {Act::sit, 45.0},
    {Act::wave, 3.0},
    {Act::dance, 4.0},
    {Act::happy, 3.0},
    {Act::type, 6.0},
    {Act::spin, 1.2},
    {Act::explode, 2.6},
    {Act::dizzy, 3.0},
    {Act::angry, 3.0},
    {Act::love, 3.0},
    {Act::think, 4.0},
    {Act::scared, 3.0},
    {Act::celebrate, 4.0},
    {Act::chase, 12.0},
}};

constexpr double kSquatSeconds = 0.2;

Result<std::string> done(std::string reply) {
  return Result<std::string>::success(std::move(reply));
}
Result<std::string> refused(std::string message) {
  return Result<std::string>::fail(std::move(message));
}
constexpr double kExplosionSeconds = 2.6;

}  // namespace

bool is_act_name(std::string_view name) { return is_one_of(kActNames, name); }

std::string act_names_text() { return joined(kActNames); }

double act_duration(Act act) {
  if (act == Act::squat) return kSquatSeconds;
  for (const ActLength& a : kActLengths)
    if (a.act == act) return a.seconds;
  return 3.0;
}

namespace brain_detail {

double rest_seconds(Buddy& b) {
  return (1.0 + 2.0 * b.rng.uniform()) / trait(b.world.w.energy);
}

void become_idle(Buddy& b, double seconds) {
  b.mode = BuddyMode::idle;
  b.run_time = 0.0;
  b.act = Act::none;
  b.angle = 0.0;
  b.act_time = seconds;
}

void start_act(Buddy& b, Act name, double seconds) {
  b.walk_target.reset();
  b.mode = BuddyMode::act;
  b.act = name;
  b.act_time = seconds;
  if (name != Act::spin) b.angle = 0.0;
}

void cancel_chase(Buddy& b) {
  b.chase_until = 0.0;
  b.partner.reset();
}

bool chase_open(const Buddy& b) { return b.chase_until > 0.0 && b.now < b.chase_until; }

void resume_chase(Buddy& b) {
  b.walk_target.reset();
  b.mode = BuddyMode::chase;
  b.act = Act::none;
  b.act_time = 0.0;
  b.run_time = 0.0;
  b.angle = 0.0;
}

double free_ahead(const Buddy& b, const WorldView& view, double limit) {
  // Widening probes: a crowd of thousands on one floor costs only the buddies up to the nearest.
  for (double h = 32.0 * b.unit;; h *= 4.0) {
    const double horizon = std::min(h, limit);
    const double free = blocker_distance(b, view, nullptr, horizon);
    if (free < horizon || !(horizon < limit)) return free;
  }
}

void start_walk(Buddy& b, const WorldView& view) {
  if (!b.walk_target || !std::isfinite(*b.walk_target)) {
    b.walk_target.reset();
    become_idle(b, rest_seconds(b));
    return;
  }
  double target = *b.walk_target;
  if (target != b.x) b.facing = target > b.x ? 1 : -1;
  double distance = std::abs(target - b.x);
  const double free = free_ahead(b, view, distance);
  if (distance > free) {
    distance = free > 0.0 ? free : 0.0;
    target = b.x + b.facing * distance;
  }
  if (distance < 1.0) {
    b.walk_target.reset();
    become_idle(b, rest_seconds(b));
    return;
  }
  b.walk_target = target;
  b.mode = BuddyMode::walk;
  b.act = Act::none;
  b.act_time = 0.0;
  b.run_time = 0.0;
  b.angle = 0.0;
}

std::string play_act(Buddy& b, Act name, bool from_queue) {
  const bool was_napping = b.mode == BuddyMode::sleep && b.nap;
  if (b.mode == BuddyMode::sleep) wake_quietly(b);
  if (!is_grounded(b.mode)) {
    b.queued_act = name;
    return "queued until he lands";
  }
  if (name == Act::chase) {
    b.walk_target.reset();
    b.partner.reset();
    b.chase_from = b.now;
    b.chase_until = b.now + 12.0;
    resume_chase(b);
    return "chasing the cursor";
  }
  cancel_chase(b);

  if (name == Act::sleep) {
    const double wake_at = from_queue ? b.wake_at : 0.0;
    b.walk_target.reset();
    b.mode = BuddyMode::sleep;
    b.nap = true;
    b.wake_at = wake_at;
    b.act = Act::none;
    b.act_time = 0.0;
    b.angle = 0.0;
    if (!was_napping) trigger(b, "sleep");
    return "sleeping";
  }
  if (name == Act::sit) {
    b.walk_target.reset();
    become_idle(b, act_duration(Act::sit));
    b.mode = BuddyMode::sit;
    return "sitting";
  }
  if (name == Act::idle) {
    b.walk_target.reset();
    become_idle(b, 10.0);
    return "idle";
  }
  if (name == Act::type) {
    b.walk_target.reset();
    b.typing_until = std::max(b.typing_until, b.now + act_duration(Act::type));
    become_idle(b, 0.0);
    b.mode = BuddyMode::type;
    return "typing";
  }
  if (name == Act::jump || name == Act::backflip) {
    if (b.support) {
      const Support on = *b.support;
      // Hanging from the ceiling, "up" is down.
      const double up = on.kind == SurfaceKind::ceiling ? -1.0 : 1.0;
      const bool flip = name == Act::backflip;
      b.walk_target.reset();
      b.act = Act::none;
      hop(b, b.x, b.y, (flip ? 40.0 : 26.0) * b.unit * up, flip ? 0.75 : 0.5,
          flip ? -360.0 * b.facing : 0.0, on);
    }
    return std::string(act_name(name));
  }

  if (name == Act::happy) hearts(b, 3);
  if (name == Act::dizzy) b.push_event(DizzyEvent{});
  if (name == Act::explode) {
    b.push_event(ExplodeEvent{kExplosionSeconds});
  }
  if (name == Act::celebrate) b.push_event(EffectEvent{EffectKind::confetti, b.x, b.y});
  if (name == Act::dance) trigger(b, "dance");
  start_act(b, name, act_duration(name));
  return "ok";
}

}  // namespace brain_detail

using namespace brain_detail;

void wake_quietly(Buddy& b) {
  b.nap = false;
  b.wake_at = 0.0;
  become_idle(b, 0.5);
}

Result<std::string> act_command(Buddy& b, Act action, const WorldView& view) {
  b.now = view.now;
  b.last_command = b.now;
  return done(play_act(b, action, false));
}

void pointer_act(Buddy& b, Act act) { (void)play_act(b, act, false); }

Result<std::string> walk_to(Buddy& b, double x, const WorldView& view) {
  if (!std::isfinite(x)) return refused("x must be a number");
  b.now = view.now;
  b.last_command = b.now;
  if (b.mode == BuddyMode::sleep) wake_quietly(b);
  b.walk_target = x;
  switch (b.mode) {
    case BuddyMode::idle:
    case BuddyMode::walk:
    case BuddyMode::sit:
    case BuddyMode::act:
    case BuddyMode::chase:
      cancel_chase(b);
      start_walk(b, view);
      break;
    default: break;  // the target waits for the next decision
  }
  return done("walking to x=" + rounded_int_text(x));
}

Result<std::string> say_command(Buddy& b, std::string text, double seconds,
                       std::optional<Act> act, const WorldView& view) {
  b.now = view.now;
  if (b.mode == BuddyMode::sleep) wake_quietly(b);
  say(b, std::move(text), seconds);
  if (act) {
    const Result<std::string> r = act_command(b, *act, view);
    if (!r.ok()) return r;
  }
  return done("said");
}

Result<std::string> leap_command(Buddy& b, double x, double y, const WorldView& view) {
  if (!std::isfinite(x)) return refused("x must be a number");
  if (!std::isfinite(y)) return refused("y must be a number");
  if (b.mode == BuddyMode::held) return refused("he is being held by the mouse right now");
  b.now = view.now;
  if (b.mode == BuddyMode::sleep) wake_quietly(b);
  clamp_leap_target(b, view, x, y);
  b.act = Act::none;
  leap_to(b, x, y);
  return done("leaping to " + rounded_int_text(x) + "," + rounded_int_text(y));
}

}  // namespace perchkin
