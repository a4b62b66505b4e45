// Particle and ring motion, the particle cap and the firework burst of a rocket shell.
#include "props/effects.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace perchkin {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kBurstSparks = 36;

// Spawns unless the cap is reached, counting `dying` particles that are still in the list but
// already due for removal as alive: a rocket that ends this tick still holds its place while its
// sparks start.
bool spawn_counting(Effects& fx, Particle&& p, std::size_t dying) {
  if (fx.particles.size() - dying >= kMaxParticles) return false;
  fx.particles.push_back(std::move(p));
  return true;
}

void burst_counting(Effects& fx, double x, double y, Rgba color, std::size_t dying) {
  const double s = fx.scale;
  for (int k = 0; k < kBurstSparks; ++k) {
    if (fx.particles.size() - dying >= kMaxParticles) return;
    Xorshift64& r = fx.rng;
    const double dir = kTwoPi * k / kBurstSparks + 0.1 * r.uniform() - 0.05;
    const double speed = (180.0 + 160.0 * r.uniform()) * s;
    Particle p = make_particle(ParticleKind::dot, color, x, y, speed * std::cos(dir),
                               speed * std::sin(dir), 0.0);
    p.ay = to_f32(220.0 * s);
    p.drag = 1.6f;
    p.lifetime = to_f32(0.9 + 0.5 * r.uniform());
    p.width = p.height = to_f32(5.0 * s);
    if (r.uniform() < 0.33) p.color = rgba(0xFFFFFF);
    p.phase = random_phase(fx);
    p.shrink = true;
    spawn_counting(fx, std::move(p), dying);
  }
}

}  // namespace

bool spawn(Effects& fx, Particle p) { return spawn_counting(fx, std::move(p), 0); }

float random_phase(Effects& fx) { return to_f32(kTwoPi * fx.rng.uniform()); }

void firework_burst(Effects& fx, double x, double y, Rgba color) {
  burst_counting(fx, x, y, color, 0);
}

void step_particles(Effects& fx) {
  constexpr float dt = kParticleStep;
  std::vector<Particle>& list = fx.particles;
  const std::size_t n = list.size();
  std::size_t kept = 0;
  // Particles are compacted in place; sparks of bursting shells are appended behind the old ones
  // and moved down after the pass, so they start moving next tick.
  for (std::size_t i = 0; i < n; ++i) {
    Particle& p = list[i];
    p.age += dt;
    if (p.age >= p.lifetime) {
      if (p.burst) {
        const double bx = static_cast<double>(p.x), by = static_cast<double>(p.y);
        const Rgba colour = *p.burst;
        // Those removed before it are due to go; the shell itself still holds its place.
        burst_counting(fx, bx, by, colour, i - kept);
      }
      continue;
    }
    p.vy += p.ay * dt;
    if (p.drag != 0.0f) {
      const float keep = std::max(1.0f - p.drag * dt, 0.0f);
      p.vx *= keep;
      p.vy *= keep;
    }
    p.x += p.vx * dt;
    p.y += p.vy * dt;
    if (p.sway != 0.0f) p.x += p.sway * std::sin(3.0f * p.age + p.phase) * dt;
    if (kept != i) list[kept] = std::move(p);
    ++kept;
  }
  if (kept != n) {
    std::move(list.begin() + static_cast<std::ptrdiff_t>(n), list.end(),
              list.begin() + static_cast<std::ptrdiff_t>(kept));
    list.resize(kept + (list.size() - n));
  }
}

void step_rings(Effects& fx) {
  constexpr float dt = kParticleStep;
  for (Ring& ring : fx.rings) {
    ring.age += dt;
    ring.radius += ring.growth * dt;
  }
  std::erase_if(fx.rings, [](const Ring& ring) { return ring.age >= ring.lifetime; });
}

}  // namespace perchkin
