// Scene effects per tick: a full particle list churning under its cap, and the prop pass over a
// large crew with a handful of hazards of every kind.
#include "props/effects.h"
#include "props/hazards.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace perchkin;

constexpr double kTick = 1.0 / 60.0;

// Confetti, fireworks, snow and a few burning fires keep the list at its cap.
void BM_StepEffectsAtCap(benchmark::State& state) {
  Effects fx;
  fx.rng = Xorshift64(7);
  for (int i = 0; i < 4; ++i) place_prop(fx, default_placement(PropKind::fire, 300.0 + 400 * i, 1000), 0.0);
  place_prop(fx, default_placement(PropKind::cloud, 1500, 300), 0.0);
  double t = 0.0;
  for (auto _ : state) {
    if (fx.particles.size() < kMaxParticles) {
      start_effect(fx, EffectKind::confetti, 960, 700, t);
      start_effect(fx, EffectKind::fireworks, 960, 700, t);
      start_effect(fx, EffectKind::snow, 960, 700, t);
    }
    step_effects(fx, t);
    t += kTick;
    // Props keep burning: their ttl is never checked here.
    benchmark::DoNotOptimize(fx.particles.data());
  }
  state.counters["particles"] = static_cast<double>(fx.particles.size());
}
BENCHMARK(BM_StepEffectsAtCap);

// The prop pass with range(0) buddies spread over a 1920 px floor and eight hazards.
void BM_PropPass(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  Crew crew;
  Xorshift64 rng(3);
  crew.buddies.resize(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    Buddy& b = crew.buddies[i];
    b.id = i;
    b.motion.x = 1920.0 * rng.uniform();
    b.motion.y = 1000.0;
    b.motion.unit = 4.0;
    b.motion.mode = BuddyMode::idle;
    b.mind.hazard_ready = 1e9;  // touched but never hurt, so every tick checks everyone
  }
  const std::vector<Support> surfaces = {{0, 0, 1920, 1000, SurfaceKind::floor, {}},
                                         {1, 200, 900, 600, SurfaceKind::window, {}}};
  Effects fx;
  double t = 0.0;
  auto refill = [&] {
    PropPlacement fire = default_placement(PropKind::fire, 0, 1000);
    fire.ttl = 0;
    for (int i = 0; i < 4; ++i) {
      fire.x = 200.0 + 450.0 * i;
      place_prop(fx, fire, t);
    }
    PropPlacement cloud = default_placement(PropKind::cloud, 1700, 200);
    cloud.ttl = 0;
    place_prop(fx, cloud, t);
    place_prop(fx, default_placement(PropKind::bomb, 500, 100), t);
    place_prop(fx, default_placement(PropKind::bolt, 1200, 300), t);
  };
  refill();
  for (auto _ : state) {
    std::vector<HazardHit> hits = prop_pass(fx, crew, surfaces, t);
    benchmark::DoNotOptimize(hits.data());
    fx.entries.clear();
    t += kTick;
    if (fx.props.size() < 6) {
      fx.props.clear();
      refill();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_PropPass)->Arg(200)->Arg(10000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
