// The crowd pass alone, banded and plain, on crowds settled for 20 simulated seconds, with the
// figures that bound it: pairs within reach, pairs that touch, and the buddy record's size.
#include "scenario.h"

#include "crowd/body.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numeric>

namespace {

using perchkin::bench::Scenario;

Scenario& settled(std::size_t n, double unit) {
  static std::map<std::pair<std::size_t, double>, std::unique_ptr<Scenario>> cache;
  auto& slot = cache[{n, unit}];
  if (!slot) {
    slot = std::make_unique<Scenario>(perchkin::bench::make_drop_scenario(n, unit, true));
    perchkin::bench::run_ticks(*slot, 20 * 60);
  }
  return *slot;
}

struct PairCount {
  double in_window = 0.0;  // pairs a plain scan looks at
  double touching = 0.0;   // pairs close enough and at heights where they push
};

// Counted as the plain scan meets them, positions as they stand before the pass.
PairCount count_pairs(const perchkin::Crew& crew) {
  using namespace perchkin;
  const auto& all = crew.buddies;
  std::vector<std::size_t> order(all.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return all[a].x < all[b].x; });
  double max_unit = 1.0;
  for (const Buddy& b : all) max_unit = std::max(max_unit, b.unit);
  const double window = 2.0 * kPushReach * max_unit;
  PairCount c;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Buddy& a = all[order[i]];
    for (std::size_t j = i + 1; j < order.size(); ++j) {
      const Buddy& b = all[order[j]];
      if (!(b.x - a.x < window)) break;
      c.in_window += 1.0;
      if (std::abs(b.x - a.x) <= kPushReach * (a.unit + b.unit) &&
          a.y > b.y - kContactHeight * b.unit && b.y > a.y - kContactHeight * a.unit)
        c.touching += 1.0;
    }
  }
  return c;
}

// Args: crew size, unit, sweep (0 banded, 1 plain).
void BM_CrowdPass(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  Scenario& s = settled(n, static_cast<double>(state.range(1)));
  const auto sweep = state.range(2) == 0 ? perchkin::CrowdSweep::banded : perchkin::CrowdSweep::plain;
  const PairCount pairs = count_pairs(s.crew);
  build_world_view(s.view, s.crew, s.surfaces, s.left, s.top, s.right, s.bottom, s.cursor_x,
                   s.cursor_y);
  for (auto _ : state) {
    collide_crew(s.crew, s.view, sweep);
    benchmark::DoNotOptimize(s.crew.buddies.data());
  }
  state.counters["pairs_in_window"] = pairs.in_window;
  state.counters["pairs_touching"] = pairs.touching;
  state.counters["per_touching_pair"] = benchmark::Counter(
      pairs.touching, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CrowdPass)
    ->Args({1000, 1, 0})
    ->Args({10000, 1, 0})
    ->Args({10000, 1, 1})
    ->Unit(benchmark::kMicrosecond);

// The record a buddy costs before any heap it owns (bubble text, samples, outboxes).
void BM_BuddyRecord(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(sizeof(perchkin::Buddy));
  state.counters["bytes"] = static_cast<double>(sizeof(perchkin::Buddy));
}
BENCHMARK(BM_BuddyRecord)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
