// Instance building: what every backend uploads for one frame.
#include "gpu/instances.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace perchkin {

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kDarkEyes = 26.0f / 255.0f;

// a + (floor(n t) mod 2), the floor taken in 64 bits and saturated so huge clocks stay valid.
int alternate(int a, double hz, double t) {
  const double v = std::floor(hz * t);
  if (std::isnan(v)) return a;
  const double lim = 9.0e18;
  const auto k = static_cast<std::int64_t>(std::clamp(v, -lim, lim));
  return a + static_cast<int>(k & 1);
}

int act_frame(Act act, double t) {
  if (act == Act::wave) return alternate(9, 5.0, t);
  if (act == Act::dance || act == Act::celebrate) return alternate(11, 6.0, t);
  if (act == Act::happy) return 13;
  if (act == Act::squat) return 14;
  if (act == Act::spin) return 15;
  if (act == Act::dizzy) return 20;
  if (act == Act::angry) return alternate(21, 8.0, t);
  if (act == Act::love) return 23;
  if (act == Act::think) return 24;
  if (act == Act::scared) return 25;
  return 0;
}

Float3 scaled(Float3 c, float k) { return {c.r * k, c.g * k, c.b * k}; }

}  // namespace

int frame_for(BuddyMode mode, Act act, double t, bool looking_up) {
  switch (mode) {
    case BuddyMode::idle:
      if (std::fmod(t, 3.2) < 0.15) return 1;  // a blink
      return looking_up ? 2 : 0;
    case BuddyMode::walk: return alternate(3, 8.0, t);
    case BuddyMode::sit: return 5;
    case BuddyMode::sleep: return 8;
    case BuddyMode::type: return alternate(6, 7.0, t);
    case BuddyMode::act: return act_frame(act, t);
    case BuddyMode::chase: return alternate(3, 12.0, t);
    case BuddyMode::fall: return 16;
    case BuddyMode::hop: return 15;
    case BuddyMode::held: return alternate(17, 6.0, t);
    case BuddyMode::slide: return 16;
    case BuddyMode::drawing: return 19;
  }
  return 0;
}

int frame_for(const Buddy& b) {
  return frame_for(b.motion.mode, b.mind.act, b.mind.clock, b.mind.looking_up);
}

Float3 rgb_float3(std::uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFFu) / 255.0f,
          static_cast<float>((rgb >> 8) & 0xFFu) / 255.0f, static_cast<float>(rgb & 0xFFu) / 255.0f};
}

bool is_charred(const Buddy& b) { return b.mind.hot_until > b.mind.now; }

BuddyColours buddy_colours(const Buddy& b, const LookSettings& look) {
  BuddyColours c;
  const bool charred = is_charred(b);
  if (charred) {
    c.tint = kCharredTint;
    c.eye = 1.0f;
  } else {
    c.tint = rgb_float3(look.custom ? look.color : buddy_rgb(b.color));
    // A dark body gets light eyes.
    c.eye = 0.3f * c.tint.r + 0.59f * c.tint.g + 0.11f * c.tint.b < 0.3f ? 1.0f : kDarkEyes;
  }
  c.tint2 = look.custom ? rgb_float3(look.color2) : scaled(c.tint, 0.7f);
  c.pattern = charred ? kPatternSolid : static_cast<float>(std::min<int>(look.pattern, 3));
  return c;
}

int snapped_degrees(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  const double steps = std::round(std::fmod(degrees, 360.0) / 15.0);
  int d = static_cast<int>(steps) * 15 % 360;
  return d < 0 ? d + 360 : d;
}

float snapped_squash(double s) {
  if (!std::isfinite(s)) return 1.0f;
  const double stepped = std::round(std::clamp(s, 0.6, 1.4) / 0.04) * 0.04;
  return static_cast<float>(std::round(stepped * 100.0) / 100.0);
}

bool upside_down(const Buddy& b) {
  if (b.motion.support && b.motion.support->kind == SurfaceKind::ceiling) return true;
  return b.motion.mode == BuddyMode::hop && b.motion.hop.target &&
         b.motion.hop.target->kind == SurfaceKind::ceiling;
}

BuddyInstance buddy_instance(const Buddy& b, const RenderEntry& e, const InstanceParams& p) {
  double x = e.x, y = e.y;
  if (b.motion.mode != BuddyMode::held) {
    const double dx = e.x - e.prev_x, dy = e.y - e.prev_y;
    // A teleport is drawn at its new place rather than smeared across the screen.
    if (!(std::abs(dx) + std::abs(dy) > kTeleportCells * b.motion.unit)) {
      const double a = std::clamp(std::isfinite(p.alpha) ? p.alpha : 1.0, 0.0, 1.0);
      x = e.prev_x + dx * a;
      y = e.prev_y + dy * a;
    }
  }
  const bool flipped_up = upside_down(b);

  double shake = 0.0, hop = 0.0;
  if (b.motion.mode == BuddyMode::act) {
    const double t = b.mind.clock;
    if (b.mind.act == Act::scared) {
      shake = std::sin(70.0 * t) * b.motion.unit * 0.35;
    } else if (b.mind.act == Act::angry) {
      shake = std::sin(70.0 * t) * b.motion.unit * 0.6;
    } else if (b.mind.act == Act::dance || b.mind.act == Act::happy ||
               b.mind.act == Act::celebrate) {
      hop = std::abs(std::sin(10.0 * t)) * 4.0 * b.motion.unit;
    }
  }

  BuddyInstance in;
  in.pos = {static_cast<float>(std::round(x - p.overlay_left + shake)),
            static_cast<float>(std::round(y - p.overlay_top - hop))};
  in.unit = static_cast<float>(b.motion.unit);
  const int degrees = snapped_degrees(b.motion.angle + (flipped_up ? 180.0 : 0.0));
  in.angle = static_cast<float>(degrees) * kDegToRad;
  in.sy = degrees != 0 ? 1.0f : snapped_squash(e.squash);
  in.frame = static_cast<float>(frame_for(b));
  in.flip = ((b.motion.facing == -1) != flipped_up) ? 1.0f : 0.0f;
  const BuddyColours c = buddy_colours(b, p.look);
  in.tint = c.tint;
  in.tint2 = c.tint2;
  in.eye = c.eye;
  in.pattern = c.pattern;
  const auto m = static_cast<std::uint8_t>(b.motion.mode);
  const bool stands = m <= 6 || b.motion.mode == BuddyMode::slide;
  in.shadow = (hop == 0.0 && !flipped_up && stands) ? 1.0f : 0.0f;
  return in;
}

void build_instances(std::vector<BuddyInstance>& out, const Crew& crew, const RenderEntries& re,
                     const InstanceParams& p) {
  out.clear();
  out.reserve(crew.buddies.size());
  std::size_t held = out.max_size();
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& b = crew.buddies[i];
    const RenderEntry* e = find_entry(re, b.id, i);
    // A burst buddy's loose pixels are drawn by the 2D overlay instead.
    if (e == nullptr || e->burst) continue;
    if (b.motion.mode == BuddyMode::held && held == out.max_size()) held = out.size();
    out.push_back(buddy_instance(b, *e, p));
  }
  // The carried buddy is drawn on top of everyone.
  if (held < out.size()) std::swap(out[held], out.back());
}

std::size_t instance_capacity(std::size_t current, std::size_t count) {
  if (count <= current) return current;
  std::size_t c = 1;
  while (c < count) c *= 2;
  return c;
}

}  // namespace perchkin
