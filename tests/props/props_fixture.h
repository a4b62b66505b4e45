// Small builders shared by the props tests.
#pragma once

#include "crowd/crew.h"
#include "props/effects.h"
#include "props/hazards.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace perchkin::test {

inline constexpr double kTick = 1.0 / 60.0;

inline Effects make_effects(std::uint64_t seed = 42) {
  Effects fx;
  fx.rng = Xorshift64(seed);
  fx.width = 1920.0;
  fx.height = 1080.0;
  return fx;
}

// Long-lived particles that only take up room.
inline void fill(Effects& fx, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    fx.particles.push_back(make_particle(ParticleKind::dot, rgba(0x123456), 5.0, 5.0, 0.0, 0.0, 1e6));
  }
}

inline std::size_t count_color(const Effects& fx, std::uint32_t rgb) {
  const Rgba c = rgba(rgb);
  return static_cast<std::size_t>(std::count_if(fx.particles.begin(), fx.particles.end(),
                                                [&](const Particle& p) { return p.color == c; }));
}

inline std::size_t count_kind(const Effects& fx, ParticleKind kind) {
  return static_cast<std::size_t>(std::count_if(fx.particles.begin(), fx.particles.end(),
                                                [&](const Particle& p) { return p.kind == kind; }));
}

inline Buddy make_buddy(std::uint32_t id, double x, double y, double unit = 4.0) {
  Buddy b;
  b.id = id;
  b.motion.x = x;
  b.motion.y = y;
  b.motion.unit = unit;
  b.motion.mode = BuddyMode::idle;
  return b;
}

inline Support floor_at(double top, double left = 0.0, double right = 1920.0) {
  return {0, left, right, top, SurfaceKind::floor, {}};
}

}  // namespace perchkin::test
