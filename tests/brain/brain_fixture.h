// A small desktop for brain tests: one floor (or a narrow ledge) and a buddy standing on it.
#pragma once

#include "brain/brain.h"
#include "brain/physics.h"
#include "crowd/buddy.h"

#include <memory>

namespace perchkin::test {

// A command entry point's reply or failure message, as the command layer would pass it on.
inline std::string reply_text(const Result<std::string>& r) { return r.ok() ? *r : r.error; }

inline Support floor_support(double left = 0.0, double right = 1920.0, double top = 1080.0) {
  Support s;
  s.id = 1;
  s.left = left;
  s.right = right;
  s.top = top;
  s.kind = SurfaceKind::floor;
  return s;
}

inline WorldView view_with(const Support& s) {
  WorldView v;
  v.left = 0.0;
  v.top = 0.0;
  v.right = 1920.0;
  v.bottom = 1080.0;
  v.cursor_x = -5000.0;  // far away unless a test moves it
  v.cursor_y = -5000.0;
  v.idle_seconds = 0.0;
  v.platforms.push_back(s);
  v.surface_count = 1;
  v.surface_by_id[s.id] = 0;
  v.surface_by_x.push_back(0);
  v.surface_x_keys.push_back((s.left + s.right) / 2.0);
  v.max_half_width = (s.right - s.left) / 2.0;
  return v;
}

// Calm settings: no chaos, no climbing, no social games; tests switch on what they need.
inline BuddyWorld calm_world() {
  BuddyWorld w;
  w.w.chaos = 0.0;
  w.w.climb = false;
  w.w.social = false;
  w.chatty = false;
  return w;
}

inline Buddy standing_buddy(std::uint64_t seed, const Support& s, double x, double unit = 4.0) {
  Buddy b;
  b.id = 0;
  b.rng = Xorshift64(seed);
  b.motion.unit = unit;
  b.motion.x = x;
  b.motion.y = s.top;
  b.motion.support = s;
  b.motion.mode = BuddyMode::idle;
  b.mind.act_time = 1.0;
  b.world = calm_world();
  b.speech.lines = std::make_shared<SpeechLines>();
  return b;
}

// Well-mixed seeds: consecutive small seeds give xorshift correlated first draws.
inline std::uint64_t seed(std::uint64_t i) { return (i * 0x9E3779B97F4A7C15ull) | 1ull; }

// Advances the clock one tick and runs one brain step.
inline void tick(Buddy& b, WorldView& v) {
  v.now += 1.0 / 60.0;
  brain_step(b, v);
  b.events.clear();
}

inline void run_for(Buddy& b, WorldView& v, double seconds) {
  const auto n = static_cast<long>(seconds * 60.0 + 0.5);
  for (long i = 0; i < n; ++i) tick(b, v);
}

}  // namespace perchkin::test
