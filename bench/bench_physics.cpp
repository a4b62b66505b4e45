// One tick of motion (view build, every buddy's motion step, crowd pass) for a crowd dropped on a
// 1920 x 1080 desktop and left to settle for 20 simulated seconds.
#include "scenario.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <tuple>

namespace {

using perchkin::bench::Scenario;

// Settling takes a while, so each scenario is settled once and reused across repetitions.
Scenario& settled(std::size_t n, double unit, bool collide) {
  static std::map<std::tuple<std::size_t, double, bool>, std::unique_ptr<Scenario>> cache;
  auto& slot = cache[{n, unit, collide}];
  if (!slot) {
    slot = std::make_unique<Scenario>(perchkin::bench::make_drop_scenario(n, unit, collide));
    perchkin::bench::run_ticks(*slot, 20 * 60);
  }
  return *slot;
}

// Args: crew size, unit (pixels per sprite pixel), collide on (1) or off (0).
void BM_MotionTick(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  Scenario& s = settled(n, static_cast<double>(state.range(1)), state.range(2) != 0);
  for (auto _ : state) {
    perchkin::bench::motion_tick(s);
    benchmark::DoNotOptimize(s.crew.buddies.data());
  }
  std::size_t airborne = 0;
  for (const auto& b : s.crew.buddies) airborne += !perchkin::is_grounded(b.motion.mode);
  state.counters["per_buddy"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["airborne"] = static_cast<double>(airborne);
}

// The default crew limit at the default size; then large crowds with and without collisions.
// With collisions on, 10,000 buddies on one 1920 px floor never come to rest: towers form and
// collapse as squeezed buddies climb out, so that case measures a crowd in constant motion.
BENCHMARK(BM_MotionTick)
    ->Args({200, 9, 1})
    ->Args({1000, 1, 1})
    ->Args({10000, 1, 1})
    ->Args({1000, 1, 0})
    ->Args({10000, 1, 0})
    ->Args({100000, 1, 0})
    ->Unit(benchmark::kMicrosecond);

// Brain plus motion per buddy on the same desktop: the crowd is settled with brains running,
// then timed a tick at a time.
void BM_BrainTick(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  static std::map<std::pair<std::size_t, bool>, std::unique_ptr<Scenario>> cache;
  auto& s = cache[{n, state.range(1) != 0}];
  if (!s) {
    const bool collide = state.range(1) != 0;
    s = std::make_unique<Scenario>(perchkin::bench::make_drop_scenario(n, 1.0, collide));
    for (int i = 0; i < 20 * 60; ++i) perchkin::bench::brain_tick(*s);
  }
  for (auto _ : state) {
    perchkin::bench::brain_tick(*s);
    benchmark::DoNotOptimize(s->crew.buddies.data());
  }
  std::size_t airborne = 0;
  for (const auto& b : s->crew.buddies) airborne += !perchkin::is_grounded(b.motion.mode);
  state.counters["per_buddy"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["airborne"] = static_cast<double>(airborne);
}

// Args: crew size, collide on (1) or off (0); unit 1.
BENCHMARK(BM_BrainTick)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Unit(benchmark::kMicrosecond);

// The view build alone (summaries, platforms, the x index from last tick's order) on the pile
// BM_BrainTick settles; each repetition moves the crowd on by a brain tick untimed.
void BM_ViewBuild(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  static std::map<std::size_t, std::unique_ptr<Scenario>> cache;
  auto& s = cache[n];
  if (!s) {
    s = std::make_unique<Scenario>(perchkin::bench::make_drop_scenario(n, 1.0, true));
    for (int i = 0; i < 20 * 60; ++i) perchkin::bench::brain_tick(*s);
  }
  for (auto _ : state) {
    state.PauseTiming();
    perchkin::bench::brain_tick(*s);
    state.ResumeTiming();
    build_world_view(s->view, s->crew, s->surfaces, s->left, s->top, s->right, s->bottom,
                     s->cursor_x, s->cursor_y);
    benchmark::DoNotOptimize(s->view.platforms.data());
  }
  state.counters["platforms"] = static_cast<double>(s->view.platforms.size());
}
BENCHMARK(BM_ViewBuild)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The headless companion's whole world tick (commands, sensing, brains, messages, knock-overs,
// social play, the crowd pass, events, hazards, the snapshot), unleashed at size 1, its crew
// grown as the --bench run grows it and left 8 simulated seconds.
void BM_CompanionTick(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  static std::map<std::size_t, std::unique_ptr<perchkin::bench::Companion>> cache;
  auto& c = cache[n];
  if (!c) {
    c = std::make_unique<perchkin::bench::Companion>(n);
    for (int i = 0; i < 8 * 60; ++i) c->tick();
  }
  for (auto _ : state) {
    c->tick();
    benchmark::DoNotOptimize(c->app.world.crew.buddies.data());
  }
  state.counters["per_buddy"] = benchmark::Counter(
      static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CompanionTick)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
