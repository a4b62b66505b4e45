// The scene's short-lived visuals: particles, rings and bursts that start later. Plain records
// the renderer reads; the effects state that owns them is in props/effects.h.
#pragma once

#include "base/tick.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace perchkin {

// More particles than this are never alive at once; a spawn beyond it is skipped.
inline constexpr std::size_t kMaxParticles = 900;
inline constexpr float kParticleStep = static_cast<float>(kTick);
static_assert(kParticleStep == 1.0f / 60.0f);

struct Rgba {
  float r = 1.0f, g = 1.0f, b = 1.0f, a = 1.0f;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// 0xRRGGBB as an opaque colour.
constexpr Rgba rgba(std::uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFFu) / 255.0f,
          static_cast<float>((rgb >> 8) & 0xFFu) / 255.0f, static_cast<float>(rgb & 0xFFu) / 255.0f,
          1.0f};
}

// What the renderer draws for a particle.
enum class ParticleKind : std::uint8_t {
  rect,     // confetti, flames, embers, sparks, rain, rocket shells, dust
  dot,      // snowflakes, burst sparks, puffs
  heart,    // the heart pixel map
  sparkle,  // the star pixel map
  text,     // a short string in one of the text styles
};

// The text format of a text particle.
enum class TextStyle : std::uint8_t { symbol = 1, label = 2, shout = 3 };

// One particle. Lengths are overlay pixels, times seconds, angles radians.
struct Particle {
  ParticleKind kind = ParticleKind::rect;
  TextStyle style = TextStyle::shout;  // text particles only
  bool shrink = false;                 // size goes to 0 over the lifetime (instead of growing)
  Rgba color;
  std::optional<Rgba> outline;  // dots only (snowflakes)
  std::optional<Rgba> burst;    // a rocket shell: bursts in this colour when its life ends
  std::string text;             // text particles only
  float x = 0.0f, y = 0.0f;
  float vx = 0.0f, vy = 0.0f;
  float ay = 0.0f;    // px/s², positive = down
  float drag = 0.0f;  // per second; each tick both velocities lose drag/60 of themselves
  float lifetime = 0.0f;
  float age = 0.0f;
  float width = 0.0f, height = 0.0f;  // 0 for the pixel-map kinds
  float spin = 0.0f;                  // tumbling rate, rad/s
  float sway = 0.0f;                  // sideways sway, px/s
  float phase = 0.0f;                 // start phase shared by spin and sway
  float grow = 0.0f;                  // fraction the size grows by over the lifetime
};

// Narrows to f32 without undefined behaviour: values beyond the f32 range (a far-off effect point
// from a hand-made command) saturate instead. NaN stays NaN.
inline float to_f32(double v) { return static_cast<float>(std::clamp(v, -3.0e38, 3.0e38)); }

// A particle with the fields every spawn sets; the rest keep their defaults (no ay, drag, size,
// spin, sway, phase or growth).
inline Particle make_particle(ParticleKind kind, Rgba color, double x, double y, double vx,
                              double vy, double lifetime) {
  Particle p;
  p.kind = kind;
  p.color = color;
  p.x = to_f32(x);
  p.y = to_f32(y);
  p.vx = to_f32(vx);
  p.vy = to_f32(vy);
  p.lifetime = to_f32(lifetime);
  return p;
}

// An expanding circle (blasts and strikes).
struct Ring {
  float x = 0.0f, y = 0.0f;
  float radius = 0.0f;
  float growth = 0.0f;  // px/s
  Rgba color;
  float width = 1.0f;  // stroke width
  float age = 0.0f;
  float lifetime = 0.0f;
};

// A twinkle or firework rocket that starts at a later time.
struct TimedBurst {
  enum class Kind : std::uint8_t { twinkle, rocket };
  double start = 0.0;
  Kind kind = Kind::twinkle;
  double x = 0.0, y = 0.0;  // overlay pixels; a rocket uses only x
};

}  // namespace perchkin
