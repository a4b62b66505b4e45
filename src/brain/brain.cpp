// The brain step: bookkeeping, the motion of the current mode, then what an idle buddy does
// next; also the landing reaction.
//
// Sections: bookkeeping helpers | reacting to motion | idle pause, naps and the decision |
// brain_step | on_landed
#include "brain/brain.h"
#include "brain/brain_detail.h"
#include "brain/physics.h"
#include "brain/speech.h"
#include "crowd/body.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace perchkin {

using namespace brain_detail;

namespace {

// typing_level decays with a time constant of 480 steps (8 s).
constexpr double kTypingDecay = 0.9979188352992993;
constexpr double kHappyCatchSeconds = 119.0 / 60.0;
constexpr std::array<Act, 6> kChaosActs = {Act::spin,   Act::backflip, Act::dance,
                                          Act::scared, Act::explode,  Act::jump};

// ---- bookkeeping helpers ----

void first_step(Buddy& b, const WorldView& view) {
  b.mind.started = true;
  b.mind.last_active = b.mind.now;
  b.mind.last_command = b.mind.now;
  b.mind.next_chat = b.mind.now + (60.0 + 90.0 * b.rng.uniform()) / trait(b.world.w.chatter);
  b.mind.keys_seen = view.keystrokes;  // presses before this buddy existed are not its business
  if (b.motion.x == 0.0 && b.motion.y == 0.0) {
    const double span = view.right - view.left - 16.0 * b.motion.unit;
    b.motion.x = view.left + kHalfWidth * b.motion.unit + b.rng.uniform() * span;
    b.motion.y = view.top + kHeadHeight * b.motion.unit;
    start_falling(b);
  }
}

void track_typing(Buddy& b, const WorldView& view) {
  const std::uint32_t presses = view.keystrokes - b.mind.keys_seen;  // the counter may wrap
  b.mind.keys_seen = view.keystrokes;
  if (presses > 0) b.mind.typing_until = b.mind.now + 1.2;
  b.mind.typing_level = presses + b.mind.typing_level * kTypingDecay;
  if (presses > 0 || view.idle_seconds < 1.0) b.mind.last_active = b.mind.now;
}

void fell(Buddy& b, bool napping) {
  b.mind.act = Act::none;
  // A buddy knocked out of a scheduled nap goes back to sleep where it lands.
  if (napping) b.mind.queued_act = Act::sleep;
}

void waking_rules(Buddy& b, const WorldView& view) {
  if (b.motion.mode == BuddyMode::sleep) {
    if (b.mind.wake_at > 0.0 && b.mind.now >= b.mind.wake_at) {
      wake_up(b);
    } else if (!b.mind.nap) {
      if (b.mind.now < b.mind.typing_until) {
        wake_up(b);
        b.motion.mode = BuddyMode::type;
      } else if (view.idle_seconds < 1.0) {
        wake_up(b);
      }
    }
    return;
  }
  if (b.mind.now >= b.mind.typing_until) return;
  const bool squatting = b.motion.mode == BuddyMode::act && b.mind.act == Act::squat;
  if (b.motion.mode == BuddyMode::idle || b.motion.mode == BuddyMode::walk ||
      b.motion.mode == BuddyMode::sit || squatting) {
    b.motion.mode = BuddyMode::type;
    b.mind.act = Act::none;
  }
}

void catch_check(Buddy& b, const WorldView& view) {
  if (!chase_open(b) || b.mind.now < b.mind.chase_from) return;
  if (b.motion.mode == BuddyMode::held || b.motion.mode == BuddyMode::drawing) return;
  const BuddySummary* p = b.mind.partner ? find_buddy(view, *b.mind.partner) : nullptr;
  double tx = view.cursor_x, ty = view.cursor_y, radius = 10.0 * b.motion.unit;
  if (p) {
    tx = p->x;
    ty = p->y - 5.0 * p->unit;
    radius = std::max(kPushReach * (p->unit + b.motion.unit) / b.motion.unit + 1.0, 10.0) *
             b.motion.unit;
  }
  if (!(std::hypot(tx - b.motion.x, ty - (b.motion.y - 5.0 * b.motion.unit)) < radius)) return;
  cancel_chase(b);
  if (p) {
    b.mind.caught_partner = p->id;  // the tag rule is social play's
  } else {
    chirp(b, "caught", 1.0);
    hearts(b, 3);
  }
  if (is_grounded(b.motion.mode)) start_act(b, Act::happy, kHappyCatchSeconds);
}

// ---- reacting to motion ----

void after_motion(Buddy& b, const WorldView& view, MotionOutcome outcome, bool napping) {
  switch (outcome) {
    case MotionOutcome::none: break;
    case MotionOutcome::landed:
    case MotionOutcome::slide_ended: on_landed(b, view); break;
    case MotionOutcome::walk_stopped:
    case MotionOutcome::chase_ended:
      b.mind.act_time = rest_seconds(b);
      break;
    case MotionOutcome::hop_landed:
      if (b.mind.queued_act) {
        const Act name = *b.mind.queued_act;
        b.mind.queued_act.reset();
        play_act(b, name, true);
      } else if (chase_open(b)) {
        resume_chase(b);
      }
      break;
    case MotionOutcome::started_falling: fell(b, napping); break;
  }
}

void act_effect(Buddy& b) {
  const Act a = b.mind.act;
  if (a == Act::dance || a == Act::celebrate) {
    if (b.rng.chance(1.0 / 24.0))
      b.push_event(SymbolEvent{b.rng.chance(0.5) ? "♪" : "♫"});
  } else if (a == Act::happy) {
    if (b.rng.chance(1.0 / 30.0)) hearts(b, 1);
  } else if (a == Act::love) {
    if (b.rng.chance(1.0 / 15.0)) hearts(b, 1);
  } else if (a == Act::think) {
    if (b.rng.chance(0.02)) b.push_event(SymbolEvent{"?"});
  } else if (a == Act::spin) {
    b.motion.angle = std::fmod(b.motion.angle + 12.0, 360.0);
  }
}

// ---- idle pause, naps and the decision ----

void watch_cursor(Buddy& b, const WorldView& view) {
  const double dx = view.cursor_x - b.motion.x;
  const double u = b.motion.unit;
  if (!(std::abs(dx) < 120.0 * u && b.motion.y - view.cursor_y < 200.0 * u)) {
    b.mind.looking_up = false;
    return;
  }
  b.mind.looking_up = view.cursor_y < b.motion.y - kHeadHeight * u;
  if (std::abs(dx) > 4.0 * u && view.cursor_y < b.motion.y + 20.0 * u)
    b.motion.facing = dx > 0 ? 1 : -1;
}

void nap_check(Buddy& b) {
  if (!b.world.w.naps) return;
  if (b.motion.mode != BuddyMode::idle && b.motion.mode != BuddyMode::sit) return;
  const double t = 180.0 / trait(b.world.w.sleepy);
  if (!(b.mind.now - b.mind.last_active > t && b.mind.now - b.mind.last_command > t)) return;
  b.motion.mode = BuddyMode::sleep;
  b.mind.nap = false;
  b.mind.wake_at = 0.0;
  b.mind.act = Act::none;
  b.mind.act_time = 0.0;
  trigger(b, "sleep");
}

bool try_climb(Buddy& b, const WorldView& view) {
  const double u = b.motion.unit;
  const bool has_own = b.motion.support.has_value();
  const std::int64_t own = has_own ? b.motion.support->id : 0;
  const SurfaceKind own_kind = has_own ? b.motion.support->kind : SurfaceKind::none;
  const auto candidate = [&](const Support& p, double& stand_x) {
    if (has_own && p.id == own && p.kind == own_kind) return false;
    if (!(p.right - p.left > 16.0 * u) || !(p.top < b.motion.y - 12.0 * u)) return false;
    stand_x = std::clamp(b.motion.x, p.left + kHalfWidth * u, p.right - kHalfWidth * u);
    return std::abs(stand_x - b.motion.x) <= 220.0 * u && may_stand_on(b.id, p.id, p.kind, view);
  };
  // Count, then fetch the picked one: no scratch list on every decision.
  std::size_t count = 0;
  double stand_x = 0.0;
  for_each_platform_near(view, b.motion.x - 220.0 * u, b.motion.x + 220.0 * u,
                         [&](const Support& p) {
                           if (candidate(p, stand_x)) ++count;
                         });
  if (count == 0) return false;
  const std::size_t pick = b.rng.pick(count);
  std::optional<Support> chosen;
  double chosen_x = 0.0;
  std::size_t index = 0;
  for_each_platform_near(view, b.motion.x - 220.0 * u, b.motion.x + 220.0 * u,
                         [&](const Support& p) {
                           if (chosen || !candidate(p, stand_x)) return;
                           if (index++ == pick) {
                             chosen = p;
                             chosen_x = stand_x;
                           }
                         });
  if (!chosen) return false;
  if (chosen_x != b.motion.x) b.motion.facing = chosen_x > b.motion.x ? 1 : -1;
  b.mind.act = Act::none;
  hop(b, chosen_x, chosen->top, 28.0 * u, 0.6, 0.0, chosen);
  return true;
}

void decide(Buddy& b, const WorldView& view) {
  const WorldSettings& w = b.world.w;
  if (b.mind.walk_target) {
    start_walk(b, view);
    return;
  }
  if (w.naps && b.rng.chance(std::max(w.sleepy - 1.0, 0.0) * 0.04)) {
    b.motion.mode = BuddyMode::sleep;
    b.mind.nap = true;
    b.mind.wake_at = b.mind.now + std::sqrt(trait(w.sleepy)) * (4.0 + 6.0 * b.rng.uniform());
    b.mind.act = Act::none;
    b.mind.act_time = 0.0;
    b.motion.angle = 0.0;
    trigger(b, "sleep");
    return;
  }
  if (b.rng.chance(w.chaos * 0.12)) {
    play_act(b, kChaosActs[b.rng.pick(kChaosActs.size())], false);
    return;
  }
  if (w.climb && b.rng.chance(w.curiosity * 0.3) && try_climb(b, view)) return;

  const double u = b.rng.uniform();
  const double half = kHalfWidth * b.motion.unit;
  if (b.motion.support && b.motion.support->right - b.motion.support->left > 2.0 * half &&
      u < 0.5) {
    const double lo = b.motion.support->left + half, hi = b.motion.support->right - half;
    b.mind.walk_target = lo + (hi - lo) * b.rng.uniform();
    start_walk(b, view);
    return;
  }
  const double u2 = b.rng.uniform();
  if (u >= 0.5 && u < 0.62) {
    become_idle(b, 3.0 + 5.0 * u2);
    b.motion.mode = BuddyMode::sit;
  } else {
    become_idle(b, 1.0 + 2.5 * u2);
  }
}

// What the current mode does after its motion.
void behave(Buddy& b, const WorldView& view) {
  switch (b.motion.mode) {
    case BuddyMode::type:
      if (b.mind.now >= b.mind.typing_until + 0.6) {
        become_idle(b, rest_seconds(b));
      } else if (b.rng.chance(0.01)) {
        hearts(b, 1);
      }
      return;
    case BuddyMode::idle:
    case BuddyMode::sit:
    case BuddyMode::act:
      break;
    default:
      return;
  }
  b.mind.act_time -= kTick;
  if (b.motion.mode == BuddyMode::act) act_effect(b);

  if (b.mind.act_time > 0.0) {
    if (b.motion.mode == BuddyMode::idle) {
      watch_cursor(b, view);
      if (b.world.chatty && b.mind.now >= b.mind.next_chat) {
        b.mind.next_chat =
            b.mind.now + (120.0 + 180.0 * b.rng.uniform()) / trait(b.world.w.chatter);
        spontaneous_line(b, view.local_hour);
      }
    }
    nap_check(b);
    return;
  }
  if (b.motion.mode == BuddyMode::idle) {
    decide(b, view);
    return;
  }
  if (b.motion.mode == BuddyMode::act && b.mind.act == Act::explode)
    b.push_event(PuffEvent{b.motion.x, b.motion.y, 0.4, false});
  become_idle(b, rest_seconds(b));
}

}  // namespace

// ---- brain_step ----

void brain_step(Buddy& b, const WorldView& view) {
  b.mind.now = view.now;
  const bool sleep_queued = b.mind.queued_act && *b.mind.queued_act == Act::sleep;
  if (b.motion.mode != BuddyMode::sleep && !sleep_queued) {
    b.mind.nap = false;
    b.mind.wake_at = 0.0;
  }
  b.mind.clock += kTick;
  if (!b.mind.started) first_step(b, view);
  track_typing(b, view);
  speak_due_line(b);
  if (b.mind.hot_until > b.mind.now && b.rng.chance(1.0 / 15.0)) b.push_event(SmokeEvent{});

  if (is_grounded(b.motion.mode)) {
    const bool napping = b.motion.mode == BuddyMode::sleep && b.mind.nap;
    const MotionOutcome kept = keep_support(b, view);
    if (kept == MotionOutcome::started_falling || !is_grounded(b.motion.mode)) {
      fell(b, napping);
    } else {
      waking_rules(b, view);
    }
  }
  if (b.world.chatty && b.mind.typing_level > 50.0 && b.mind.now >= b.mind.typing_cheer_at) {
    b.mind.typing_cheer_at = b.mind.now + 120.0;
    chirp(b, "typing", 0.5);
  }
  catch_check(b, view);

  if (b.motion.mode == BuddyMode::drawing) return;  // the pencil flight moves it
  if (b.motion.mode != BuddyMode::idle || b.mind.act_time <= 0.0) b.mind.looking_up = false;
  const bool napping = b.motion.mode == BuddyMode::sleep && b.mind.nap;
  after_motion(b, view, step_motion(b, view), napping);
  behave(b, view);
}

// ---- landing ----

void on_landed(Buddy& b, const WorldView& view) {
  b.mind.now = view.now;
  const double peak = b.motion.flight_peak;
  const bool was_thrown = b.motion.thrown;
  b.motion.flight_peak = 0.0;
  b.motion.thrown = false;
  b.motion.hurled = false;
  b.motion.vx = b.motion.vy = b.motion.angle = b.motion.spin = b.motion.air_time = b.mind.run_time =
      0.0;
  // The squash keeps a walk target that was given in the air.
  b.motion.mode = BuddyMode::act;
  b.mind.act = Act::squat;
  b.mind.act_time = act_duration(Act::squat);

  if (b.mind.queued_act) {
    const Act name = *b.mind.queued_act;
    b.mind.queued_act.reset();
    play_act(b, name, true);
    return;
  }
  if (was_thrown) {
    if (peak > 450.0) {
      play_act(b, Act::dizzy, false);
      chirp(b, "dizzy", 0.8);
    } else if (peak > 200.0 && b.rng.chance(0.5)) {
      play_act(b, Act::happy, false);
      b.mind.act_time = 2.0;
      chirp(b, "again", 1.0);
    }
  }
  if (chase_open(b)) resume_chase(b);
}

void wake_up(Buddy& b) {
  wake_quietly(b);
  chirp(b, "wake", 0.3);
}

}  // namespace perchkin
