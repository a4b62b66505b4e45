// Per-buddy cost of the brain step with its motion, at 1,000 and 10,000 buddies: on a wide floor
// where buddies spread out, and piled onto one 1920x1080 screen. The view build and the crowd
// pass are timed separately (BM_WorldTick covers the whole simulation tick).
#include "brain/brain.h"
#include "brain/physics.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace perchkin;

struct BenchWorld {
  Crew crew;
  std::vector<Support> surfaces;
  WorldView view;
  double width = 1920.0;
  double now = 0.0;

  BenchWorld(std::size_t n, double floor_width) : width(floor_width) {
    Support floor;
    floor.id = 1;
    floor.left = 0.0;
    floor.right = width;
    floor.top = 1080.0;
    floor.kind = SurfaceKind::floor;
    surfaces.push_back(floor);
    crew.rng = Xorshift64(2024);
    crew.max_buddies = n;
    crew.size = 2.0;
    crew.buddies.reserve(n);
    for (std::size_t i = 0; i < n; ++i) (void)crew.add(std::nullopt, false);
    Xorshift64 r(77);
    for (Buddy& b : crew.buddies) {
      b.motion.x = r.range(40.0, width - 40.0);
      b.motion.y = r.range(200.0, 1000.0);
    }
    for (int i = 0; i < 600; ++i) tick();  // ten seconds: everyone has landed and started living
  }

  void build() {
    view.now = now;
    build_world_view(view, crew, surfaces, 0.0, 0.0, width, 1080.0, width / 2.0, 700.0);
    view.now = now;
    view.idle_seconds = 0.0;
  }
  void brains() {
    for (Buddy& b : crew.buddies) brain_step(b, view);
  }
  void settle() {
    collide_crew(crew, view);
    for (Buddy& b : crew.buddies) {
      b.events.clear();
      b.messages.clear();
    }
  }
  void tick() {
    now += 1.0 / 60.0;
    build();
    brains();
    settle();
  }
};

void per_buddy(benchmark::State& state, std::size_t n) {
  state.counters["per_buddy"] = benchmark::Counter(
      static_cast<double>(state.iterations() * n),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Only the brain steps are timed; the view and the crowd pass run with the clock paused.
void BM_BrainStep(benchmark::State& state, double floor_width) {
  const auto n = static_cast<std::size_t>(state.range(0));
  BenchWorld w(n, floor_width);
  for (auto _ : state) {
    state.PauseTiming();
    w.now += 1.0 / 60.0;
    w.build();
    state.ResumeTiming();
    w.brains();
    state.PauseTiming();
    w.settle();
    state.ResumeTiming();
  }
  per_buddy(state, n);
}
BENCHMARK_CAPTURE(BM_BrainStep, wide_floor, 400000.0)
    ->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BrainStep, one_screen, 1920.0)
    ->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The whole simulation tick: view build, brain steps, crowd pass.
void BM_WorldTick(benchmark::State& state, double floor_width) {
  const auto n = static_cast<std::size_t>(state.range(0));
  BenchWorld w(n, floor_width);
  for (auto _ : state) w.tick();
  per_buddy(state, n);
}
BENCHMARK_CAPTURE(BM_WorldTick, wide_floor, 400000.0)
    ->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WorldTick, one_screen, 1920.0)
    ->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
