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
  b.motion.mode = BuddyMode::idle;
  b.mind.run_time = 0.0;
  b.mind.act = Act::none;
  b.motion.angle = 0.0;
  b.mind.act_time = seconds;
}

void start_act(Buddy& b, Act name, double seconds) {
  b.mind.walk_target.reset();
  b.motion.mode = BuddyMode::act;
  b.mind.act = name;
  b.mind.act_time = seconds;
  if (name != Act::spin) b.motion.angle = 0.0;
}

void cancel_chase(Buddy& b) {
  b.mind.chase_until = 0.0;
  b.mind.partner.reset();
}

bool chase_open(const Buddy& b) {
  return b.mind.chase_until > 0.0 && b.mind.now < b.mind.chase_until;
}

void resume_chase(Buddy& b) {
  b.mind.walk_target.reset();
  b.motion.mode = BuddyMode::chase;
  b.mind.act = Act::none;
  b.mind.act_time = 0.0;
  b.mind.run_time = 0.0;
  b.motion.angle = 0.0;
}

double free_ahead(const Buddy& b, const WorldView& view, double limit) {
  // Widening probes: a crowd of thousands on one floor costs only the buddies up to the nearest.
  for (double h = 32.0 * b.motion.unit;; h *= 4.0) {
    const double horizon = std::min(h, limit);
    const double free = blocker_distance(b, view, nullptr, horizon);
    if (free < horizon || !(horizon < limit)) return free;
  }
}

void start_walk(Buddy& b, const WorldView& view) {
  if (!b.mind.walk_target || !std::isfinite(*b.mind.walk_target)) {
    b.mind.walk_target.reset();
    become_idle(b, rest_seconds(b));
    return;
  }
  double target = *b.mind.walk_target;
  if (target != b.motion.x) b.motion.facing = target > b.motion.x ? 1 : -1;
  double distance = std::abs(target - b.motion.x);
  const double free = free_ahead(b, view, distance);
  if (distance > free) {
    distance = free > 0.0 ? free : 0.0;
    target = b.motion.x + b.motion.facing * distance;
  }
  if (distance < 1.0) {
    b.mind.walk_target.reset();
    become_idle(b, rest_seconds(b));
    return;
  }
  b.mind.walk_target = target;
  b.motion.mode = BuddyMode::walk;
  b.mind.act = Act::none;
  b.mind.act_time = 0.0;
  b.mind.run_time = 0.0;
  b.motion.angle = 0.0;
}

std::string play_act(Buddy& b, Act name, bool from_queue) {
  const bool was_napping = b.motion.mode == BuddyMode::sleep && b.mind.nap;
  if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
  if (!is_grounded(b.motion.mode)) {
    b.mind.queued_act = name;
    return "queued until he lands";
  }
  if (name == Act::chase) {
    b.mind.walk_target.reset();
    b.mind.partner.reset();
    b.mind.chase_from = b.mind.now;
    b.mind.chase_until = b.mind.now + 12.0;
    resume_chase(b);
    return "chasing the cursor";
  }
  cancel_chase(b);

  if (name == Act::sleep) {
    const double wake_at = from_queue ? b.mind.wake_at : 0.0;
    b.mind.walk_target.reset();
    b.motion.mode = BuddyMode::sleep;
    b.mind.nap = true;
    b.mind.wake_at = wake_at;
    b.mind.act = Act::none;
    b.mind.act_time = 0.0;
    b.motion.angle = 0.0;
    if (!was_napping) trigger(b, "sleep");
    return "sleeping";
  }
  if (name == Act::sit) {
    b.mind.walk_target.reset();
    become_idle(b, act_duration(Act::sit));
    b.motion.mode = BuddyMode::sit;
    return "sitting";
  }
  if (name == Act::idle) {
    b.mind.walk_target.reset();
    become_idle(b, 10.0);
    return "idle";
  }
  if (name == Act::type) {
    b.mind.walk_target.reset();
    b.mind.typing_until = std::max(b.mind.typing_until, b.mind.now + act_duration(Act::type));
    become_idle(b, 0.0);
    b.motion.mode = BuddyMode::type;
    return "typing";
  }
  if (name == Act::jump || name == Act::backflip) {
    if (b.motion.support) {
      const Support on = *b.motion.support;
      // Hanging from the ceiling, "up" is down.
      const double up = on.kind == SurfaceKind::ceiling ? -1.0 : 1.0;
      const bool flip = name == Act::backflip;
      b.mind.walk_target.reset();
      b.mind.act = Act::none;
      hop(b, b.motion.x, b.motion.y, (flip ? 40.0 : 26.0) * b.motion.unit * up, flip ? 0.75 : 0.5,
          flip ? -360.0 * b.motion.facing : 0.0, on);
    }
    return std::string(act_name(name));
  }

  if (name == Act::happy) hearts(b, 3);
  if (name == Act::dizzy) b.push_event(DizzyEvent{});
  if (name == Act::explode) {
    b.push_event(ExplodeEvent{kExplosionSeconds});
  }
  if (name == Act::celebrate)
    b.push_event(EffectEvent{EffectKind::confetti, b.motion.x, b.motion.y});
  if (name == Act::dance) trigger(b, "dance");
  start_act(b, name, act_duration(name));
  return "ok";
}

}  // namespace brain_detail

using namespace brain_detail;

void wake_quietly(Buddy& b) {
  b.mind.nap = false;
  b.mind.wake_at = 0.0;
  become_idle(b, 0.5);
}

Result<std::string> act_command(Buddy& b, Act action, const WorldView& view) {
  b.mind.now = view.now;
  b.mind.last_command = b.mind.now;
  return done(play_act(b, action, false));
}

void pointer_act(Buddy& b, Act act) { (void)play_act(b, act, false); }

Result<std::string> walk_to(Buddy& b, double x, const WorldView& view) {
  if (!std::isfinite(x)) return refused("x must be a number");
  b.mind.now = view.now;
  b.mind.last_command = b.mind.now;
  if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
  b.mind.walk_target = x;
  switch (b.motion.mode) {
    case BuddyMode::idle:
    case BuddyMode::walk:
    case BuddyMode::sit:
    case BuddyMode::act:
    case BuddyMode::chase:
      cancel_chase(b);
      start_walk(b, view);
      break;
    default:
      break;  // the target waits for the next decision
  }
  return done("walking to x=" + rounded_int_text(x));
}

Result<std::string> say_command(Buddy& b, std::string text, double seconds,
                       std::optional<Act> act, const WorldView& view) {
  b.mind.now = view.now;
  if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
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
  if (b.motion.mode == BuddyMode::held) return refused("he is being held by the mouse right now");
  b.mind.now = view.now;
  if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
  clamp_leap_target(b, view, x, y);
  b.mind.act = Act::none;
  leap_to(b, x, y);
  return done("leaping to " + rounded_int_text(x) + "," + rounded_int_text(y));
}

}  // namespace perchkin
