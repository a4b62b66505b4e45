// Named screen effects, timed bursts, snow, puffs and dust, the visuals of buddy events and of
// the prop pass's entries, and the scene tick that runs them all.
#include "props/effects.h"

#include "props/hazards.h"
#include "base/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace perchkin {

namespace {

constexpr double kPi = std::numbers::pi;

constexpr std::array<std::uint32_t, 7> kConfettiColors = {0xFF4D6D, 0xFFD23F, 0x4DD599, 0x4D9DFF,
                                                          0xB36BFF, 0xFF8A3D, 0xD77757};
constexpr std::array<std::uint32_t, 3> kStrikeColors = {0xFFF6A8, 0xFFD23F, 0xFFFFFF};
constexpr std::array<std::uint32_t, 6> kDebrisColors = {0xFFE45C, 0xFFB627, 0xFF7A1A,
                                                        0xE8441A, 0x4A4A4A, 0x2B2B2B};
constexpr std::uint32_t kSymbolAlarm = 0xE8443A;
constexpr std::uint32_t kSymbolCalm = 0x5B6BD6;
constexpr std::uint32_t kDustColor = 0xC9C1B8;
constexpr std::uint32_t kSmokeColor = 0x5E5E5E;
constexpr std::uint32_t kBlastSmoke = 0x6E6E6E;
constexpr std::uint32_t kSteamColor = 0xD9DEE5;
constexpr std::uint32_t kRocketColor = 0xFFE9A8;
constexpr std::uint32_t kSnowOutline = 0xB9D7F2;

constexpr int kConfettiCount = 120;
constexpr int kHeartCount = 14;
constexpr int kTwinkleCount = 18;
constexpr std::array<double, 5> kRocketDelays = {0.0, 0.35, 0.7, 1.05, 1.4};
constexpr double kSnowSeconds = 8.0;

float f32(double v) { return to_f32(v); }

Rgba pick_color(Effects& fx, std::span<const std::uint32_t> table) {
  return rgba(table[fx.rng.pick(table.size())]);
}

void add_burst(Effects& fx, TimedBurst b) {
  if (fx.bursts.size() < kMaxTimedBursts) fx.bursts.push_back(b);
}

void confetti(Effects& fx, double x, double y) {
  const double s = fx.scale;
  Xorshift64& r = fx.rng;
  for (int i = 0; i < kConfettiCount && fx.particles.size() < kMaxParticles; ++i) {
    const double dir = -2.5132741928100586 + 1.884955644607544 * r.uniform();
    const double speed = (500.0 + 800.0 * r.uniform()) * s;
    const Rgba colour = pick_color(fx, kConfettiColors);
    Particle p = make_particle(ParticleKind::rect, colour, x, y, speed * std::cos(dir),
                               speed * std::sin(dir), 0.0);
    const double w = (5.0 + 4.0 * r.uniform()) * s;
    p.width = f32(w);
    p.height = f32(0.6 * w);
    p.ay = f32(700.0 * s);
    p.drag = 2.2f;
    p.sway = f32(40.0 * s);
    p.lifetime = f32(2.5 + 1.5 * r.uniform());
    p.spin = f32(6.0 + 6.0 * r.uniform());
    p.phase = random_phase(fx);
    spawn(fx, std::move(p));
  }
}

void hearts(Effects& fx, double x, double y) {
  const double s = fx.scale;
  Xorshift64& r = fx.rng;
  for (int i = 0; i < kHeartCount && fx.particles.size() < kMaxParticles; ++i) {
    const double dir = kPi * r.uniform() - kPi;
    const double v = (60.0 + 160.0 * r.uniform()) * s;
    Particle p = make_particle(ParticleKind::heart, rgba(0xFF4D6D), x, y, v * std::cos(dir),
                               v * std::sin(dir) - 40.0 * s, 0.0);
    p.ay = f32(-30.0 * s);
    p.drag = 1.5f;
    p.lifetime = f32(1.4 + r.uniform());
    p.phase = random_phase(fx);
    spawn(fx, std::move(p));
  }
}

void sparkle(Effects& fx, double x, double y, double now) {
  const double s = fx.scale;
  for (int k = 0; k < kTwinkleCount; ++k) {
    const double tx = x + (140.0 * fx.rng.uniform() - 70.0) * s;
    const double ty = y + (100.0 * fx.rng.uniform() - 60.0) * s;
    add_burst(fx, {now + 0.04 * k, TimedBurst::Kind::twinkle, tx, ty});
  }
}

void fireworks(Effects& fx, double x, double now) {
  const double s = fx.scale;
  // An overlay narrower than 80 px has no room between the margins; its rockets start at 40.
  const double lo = 40.0, hi = std::max(fx.width - 40.0, lo);
  for (const double delay : kRocketDelays) {
    const double rx = std::clamp(x + (900.0 * fx.rng.uniform() - 450.0) * s, lo, hi);
    add_burst(fx, {now + delay, TimedBurst::Kind::rocket, rx, 0.0});
  }
}

void twinkle(Effects& fx, double x, double y) {
  Particle p = make_particle(ParticleKind::sparkle, rgba(0xFFD23F), x, y, 0.0, -30.0 * fx.scale,
                             0.4 + 0.5 * fx.rng.uniform());
  p.phase = random_phase(fx);
  spawn(fx, std::move(p));
}

void rocket(Effects& fx, double x) {
  const double s = fx.scale, h = fx.height;
  const double climb = 0.9 * h + 0.25 * h * fx.rng.uniform();
  const double life = 0.9 + 0.4 * fx.rng.uniform();
  const double v = climb / life;
  Particle p = make_particle(ParticleKind::rect, rgba(kRocketColor), x, h, 0.0, -v, life);
  p.width = f32(4.0 * s);
  p.height = f32(10.0 * s);
  p.ay = f32(0.9 * v / life);  // slows as it rises
  p.phase = random_phase(fx);
  p.burst = pick_color(fx, kConfettiColors);
  spawn(fx, std::move(p));
}

// Strike, blast and steam entries are recorded in desktop pixels and shown in overlay pixels.
void show_strike(Effects& fx, double x, double y) {
  const double s = fx.scale;
  Xorshift64& r = fx.rng;
  for (int i = 0; i < 16 && fx.particles.size() < kMaxParticles; ++i) {
    const Rgba colour = pick_color(fx, kStrikeColors);
    const double dir = kPi + kPi * r.uniform();
    const double speed = (120.0 + 200.0 * r.uniform()) * s;
    Particle p = make_particle(ParticleKind::rect, colour, x, y, speed * std::cos(dir),
                               speed * std::sin(dir), 0.5);
    p.ay = f32(600.0 * s);
    p.width = p.height = f32(4.0 * s);
    p.phase = random_phase(fx);
    p.shrink = true;
    spawn(fx, std::move(p));
  }
  fx.rings.push_back({f32(x), f32(y), 0.0f, f32(300.0 * s), rgba(0xFFF6A8),
                      f32(std::max(round_half_away(3.0 * s), 2.0)), 0.0f, 0.35f});
}

void show_blast(Effects& fx, double x, double y, double size) {
  const double s = fx.scale;
  const double k = size / 50.0;
  Xorshift64& r = fx.rng;
  for (int i = 0; i < 70 && fx.particles.size() < kMaxParticles; ++i) {
    const Rgba colour = pick_color(fx, kDebrisColors);
    const double dir = 2.0 * kPi * r.uniform();
    const double speed = (150.0 + 500.0 * r.uniform()) * s * k;
    Particle p = make_particle(ParticleKind::rect, colour, x, y, speed * std::cos(dir),
                               speed * std::sin(dir) - 120.0 * s, 0.0);
    p.ay = f32(500.0 * s);
    p.drag = 2.0f;
    p.lifetime = f32(0.5 + 0.6 * r.uniform());
    p.width = p.height = f32((5.0 + 7.0 * r.uniform()) * s);
    p.phase = random_phase(fx);
    p.shrink = true;
    spawn(fx, std::move(p));
  }
  for (int i = 0; i < 12; ++i) add_puff(fx, x, y, 2.2 * size, 2.0, rgba(kBlastSmoke));
  fx.rings.push_back({f32(x), f32(y), 0.0f, f32(900.0 * s * k), rgba(0xFFB627),
                      f32(std::max(round_half_away(5.0 * s), 3.0)), 0.0f, 0.4f});
  fx.rings.push_back({f32(x), f32(y), 0.0f, f32(600.0 * s * k), rgba(0xFFFFFF),
                      f32(std::max(round_half_away(3.0 * s), 2.0)), 0.0f, 0.3f});
  Particle boom = make_particle(ParticleKind::text, rgba(0xFF4D1A), x, y - size, 0.0, -60.0 * s, 0.9);
  boom.text = "BOOM!";
  boom.style = TextStyle::shout;
  boom.phase = random_phase(fx);
  spawn(fx, std::move(boom));
}

}  // namespace

void start_effect(Effects& fx, EffectKind kind, double x, double y, double now) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  switch (kind) {
    case EffectKind::confetti: confetti(fx, x, y); break;
    case EffectKind::hearts: hearts(fx, x, y); break;
    case EffectKind::sparkle: sparkle(fx, x, y, now); break;
    case EffectKind::fireworks: fireworks(fx, x, now); break;
    case EffectKind::snow: fx.snow_until = now + kSnowSeconds; break;
  }
}

void add_puff(Effects& fx, double x, double y, double c, double life, Rgba color) {
  if (fx.particles.size() >= kMaxParticles) return;
  const double s = fx.scale;
  Xorshift64& r = fx.rng;
  const double px = x + (0.8 * r.uniform() - 0.4) * c;
  const double py = y - 0.3 * r.uniform() * c;
  const double vx = (40.0 * r.uniform() - 20.0) * s;
  const double vy = -(30.0 + 40.0 * r.uniform()) * s;
  Particle p = make_particle(ParticleKind::dot, color, px, py, vx, vy,
                             0.6 * life + 0.4 * life * r.uniform());
  p.drag = 0.8f;
  p.width = p.height = f32((0.15 + 0.15 * r.uniform()) * c);
  p.sway = f32(20.0 * s);
  p.phase = random_phase(fx);
  p.grow = 0.8f;
  spawn(fx, std::move(p));
}

void add_dust(Effects& fx, double x, double y, double unit) {
  if (fx.particles.size() >= kMaxParticles) return;
  Xorshift64& r = fx.rng;
  const double d = r.uniform() < 0.5 ? -1.0 : 1.0;
  const double h = (1.0 + 1.2 * r.uniform()) * unit;
  const double px = x + (2.0 + 4.0 * r.uniform()) * d * unit;
  const double vx = (20.0 + 40.0 * r.uniform()) * d * unit;
  const double vy = -(5.0 + 20.0 * r.uniform()) * unit;
  Particle p = make_particle(ParticleKind::rect, rgba(kDustColor), px, y - h, vx, vy, 0.5);
  p.ay = f32(40.0 * unit);
  p.drag = 3.0f;
  p.width = p.height = f32(h);
  p.phase = random_phase(fx);
  p.shrink = true;
  spawn(fx, std::move(p));
}

bool take_buddy_event(Effects& fx, const Buddy& buddy, const BuddyEvent& event, double now,
                      RenderRequests& requests) {
  // Kinds without a point of their own show at the buddy's feet.
  const double x = buddy.motion.x - fx.overlay_left, y = buddy.motion.y - fx.overlay_top;
  const double unit = buddy.motion.unit;
  Xorshift64& r = fx.rng;
  struct Take {
    Effects& fx;
    const Buddy& buddy;
    RenderRequests& requests;
    double x, y, unit, now;
    Xorshift64& r;

    double left(double ex) const { return ex - fx.overlay_left; }
    double top(double ey) const { return ey - fx.overlay_top; }

    bool operator()(const HeartEvent&) const {
      const double hx = x + (12.0 * r.uniform() - 6.0) * unit;
      Particle p = make_particle(ParticleKind::heart, rgba(0xFF4D6D), hx, y - 10.0 * unit, 0.0,
                                 -22.0 * unit, 1.2);
      p.phase = random_phase(fx);
      spawn(fx, std::move(p));
      return true;
    }
    bool operator()(const SymbolEvent& e) const {
      const Rgba colour = rgba(e.text == "!" ? kSymbolAlarm : kSymbolCalm);
      const double sx = x + (10.0 * r.uniform() - 5.0) * unit;
      const double vx = (12.0 * r.uniform() - 6.0) * unit;
      Particle p = make_particle(ParticleKind::text, colour, sx, y - 10.0 * unit, vx, -26.0 * unit,
                                 1.1);
      p.text = e.text;
      p.style = TextStyle::symbol;
      p.phase = random_phase(fx);
      spawn(fx, std::move(p));
      return true;
    }
    bool operator()(const PuffEvent& e) const {
      // Strength is 0..1 by contract; clamping keeps a stray value from spawning without end.
      const double g = std::isfinite(e.strength) ? std::clamp(e.strength, 0.0, 1.0) : 0.0;
      const int count = static_cast<int>(std::floor(10.0 * g)) + 3;
      for (int i = 0; i < count; ++i) add_dust(fx, left(e.x), top(e.y), unit);
      if (!e.wall) requests.squash_kicks.push_back({buddy.id, 9.0 * g + 2.0});
      return true;
    }
    bool operator()(const DustEvent& e) const {
      add_dust(fx, left(e.x), top(e.y), unit);
      add_dust(fx, left(e.x), top(e.y), unit);
      return true;
    }
    bool operator()(const SmokeEvent&) const {
      add_puff(fx, x, y - 10.0 * unit, 6.0 * unit, 1.0, rgba(kSmokeColor));
      return true;
    }
    bool operator()(const DizzyEvent&) const {
      for (int i = 0; i < 5; ++i) {
        const double dir = 3.45575213432312 + 2.5132739543914795 * r.uniform();
        const double speed = (30.0 + 30.0 * r.uniform()) * unit;
        Particle p = make_particle(ParticleKind::sparkle, rgba(0xFFD23F), x, y - 10.0 * unit,
                                   speed * std::cos(dir), speed * std::sin(dir), 0.8);
        p.ay = f32(60.0 * unit);
        p.phase = random_phase(fx);
        spawn(fx, std::move(p));
      }
      return true;
    }
    bool operator()(const ExplodeEvent& e) const {
      requests.bursts.push_back({buddy.id, e.duration});
      start_effect(fx, EffectKind::sparkle, x, y - 5.0 * unit, now);
      return true;
    }
    bool operator()(const EffectEvent& e) const {
      start_effect(fx, e.kind, left(e.x), top(e.y), now);
      return true;
    }
    bool operator()(const PropPlacement& placement) const {
      place_prop(fx, placement, now);
      return true;
    }
    bool operator()(const ClearEvent&) const {
      // Clearing the screen takes the placed hazards and platforms with the drawings.
      fx.props.clear();
      return true;
    }
    // The scene's.
    bool operator()(const InkEvent&) const { return false; }
    bool operator()(const TextEvent&) const { return false; }
  };
  return std::visit(Take{fx, buddy, requests, x, y, unit, now, r}, event);
}

RenderRequests take_buddy_events(Effects& fx, const Crew& crew, double now) {
  RenderRequests requests;
  for (const Buddy& b : crew.buddies) {
    for (const BuddyEvent& e : b.events) take_buddy_event(fx, b, e, now, requests);
  }
  return requests;
}

void add_trail_puffs(Effects& fx, std::span<const TrailPuff> puffs, std::uint8_t trail) {
  if (trail == 0 || puffs.empty()) return;
  // Many movers share one budget of sparkles, about six per tick at most on average.
  const double chance = 0.15 * 40.0 / std::max(static_cast<double>(puffs.size()), 40.0);
  for (const TrailPuff& puff : puffs) {
    if (!fx.rng.chance(chance)) continue;
    const ParticleKind kind = trail == 1 ? ParticleKind::sparkle : ParticleKind::heart;
    const Rgba colour = rgba(trail == 1 ? 0xFFD23F : 0xFF4D6D);
    const double px = puff.x + (10.0 * fx.rng.uniform() - 5.0) * puff.unit;
    Particle p = make_particle(kind, colour, px, puff.y, 0.0, -10.0 * puff.unit,
                               0.5 + 0.4 * fx.rng.uniform());
    p.phase = random_phase(fx);
    spawn(fx, std::move(p));
  }
}

void add_sleep_marks(Effects& fx, std::span<const SleepMark> marks) {
  for (const SleepMark& mark : marks) {
    Particle p = make_particle(ParticleKind::text, rgba(kSymbolCalm), mark.x, mark.y,
                               6.0 * mark.unit, -14.0 * mark.unit, 2.0);
    p.text = fx.rng.uniform() < 0.5 ? "Z" : "z";
    p.style = TextStyle::label;
    p.phase = random_phase(fx);
    spawn(fx, std::move(p));
  }
}

void start_due_bursts(Effects& fx, double now) {
  // Due entries are taken out first (the rest keep their order), then started.
  std::vector<TimedBurst> due;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < fx.bursts.size(); ++i) {
    if (fx.bursts[i].start <= now) {
      due.push_back(fx.bursts[i]);
    } else {
      fx.bursts[kept++] = fx.bursts[i];
    }
  }
  fx.bursts.resize(kept);
  for (const TimedBurst& b : due) {
    if (b.kind == TimedBurst::Kind::twinkle) {
      twinkle(fx, b.x, b.y);
    } else {
      rocket(fx, b.x);
    }
  }
}

void step_snow(Effects& fx, double now) {
  if (!(now < fx.snow_until) || !fx.rng.chance(0.5)) return;
  const double s = fx.scale;
  const double x = fx.rng.uniform() * fx.width;
  const double vy = (60.0 + 50.0 * fx.rng.uniform()) * s;
  Particle p = make_particle(ParticleKind::dot, rgba(0xFFFFFF), x, -10.0, 0.0, vy,
                             fx.height / (70.0 * s));
  p.outline = rgba(kSnowOutline);
  p.width = p.height = f32((3.0 + 3.0 * fx.rng.uniform()) * s);
  p.sway = f32(50.0 * s);
  p.phase = random_phase(fx);
  spawn(fx, std::move(p));
}

void show_prop_entries(Effects& fx) {
  std::vector<PropEntry> entries;
  entries.swap(fx.entries);
  for (const PropEntry& e : entries) {
    const double x = e.x - fx.overlay_left, y = e.y - fx.overlay_top;
    switch (e.kind) {
      case PropEntry::Kind::strike:
        show_strike(fx, x, y);
        break;
      case PropEntry::Kind::blast:
        show_blast(fx, x, y, e.size);
        break;
      case PropEntry::Kind::steam:
        for (int i = 0; i < 10; ++i) add_puff(fx, x, y - 0.3 * e.size, e.size, 1.6, rgba(kSteamColor));
        break;
    }
  }
}

void step_effects(Effects& fx, double now) {
  step_particles(fx);
  step_rings(fx);
  show_prop_entries(fx);
  emit_prop_particles(fx, now);
  start_due_bursts(fx, now);
  step_snow(fx, now);
}

}  // namespace perchkin
