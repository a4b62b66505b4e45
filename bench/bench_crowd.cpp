// The crowd pass alone, banded and plain, on crowds settled for 20 simulated seconds, with the
// figures that bound it: pairs within reach, pairs that touch, and the buddy record's size.
#include "scenario.h"

#include "brain/crowd_push.h"
#include "brain/physics.h"

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
            [&](std::size_t a, std::size_t b) { return all[a].motion.x < all[b].motion.x; });
  double max_unit = 1.0;
  for (const Buddy& b : all) max_unit = std::max(max_unit, b.motion.unit);
  const double window = 2.0 * kPushReach * max_unit;
  PairCount c;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Buddy& a = all[order[i]];
    for (std::size_t j = i + 1; j < order.size(); ++j) {
      const Buddy& b = all[order[j]];
      if (!(b.motion.x - a.motion.x < window)) break;
      c.in_window += 1.0;
      if (std::abs(b.motion.x - a.motion.x) <= kPushReach * (a.motion.unit + b.motion.unit) &&
          a.motion.y > b.motion.y - kContactHeight * b.motion.unit &&
          b.motion.y > a.motion.y - kContactHeight * a.motion.unit)
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

// The pushes of one crowd pass alone, replayed in their order with every pair already known: no
// search, no scan, just the rule's arithmetic and the positions it reads and writes. Whatever a
// faster pair search does, the pass costs at least this. Args: crew size, buddy size; the
// headless companion's crowd, grown as the --bench run grows it and left 8 simulated seconds.
void BM_CrowdPushReplay(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  perchkin::bench::Companion c(n, static_cast<double>(state.range(1)));
  for (int i = 0; i < 8 * 60; ++i) c.tick();
  const perchkin::CrowdPushTrace trace =
      perchkin::trace_crowd_pushes(c.app.world.crew, c.app.world.view);
  std::vector<double> x;
  for (auto _ : state) {
    perchkin::replay_crowd_pushes(trace, x);
    benchmark::DoNotOptimize(x.data());
  }
  if (x != trace.x_after) state.SkipWithError("the replay left other positions than the pass");
  const auto pushes = static_cast<double>(trace.pairs.size());
  state.counters["pushes"] = pushes;
  // Piles: buddies joined by pushes. Only separate piles could be pushed on separate cores
  // without waiting on each other, push by push.
  std::vector<std::uint32_t> root(trace.x.size());
  std::iota(root.begin(), root.end(), 0u);
  const auto find = [&](std::uint32_t v) {
    while (root[v] != v) v = root[v] = root[root[v]];
    return v;
  };
  for (const auto& [a, b] : trace.pairs) root[find(a)] = find(b);
  std::map<std::uint32_t, double> pile_pushes;
  for (const auto& [a, b] : trace.pairs) pile_pushes[find(a)] += 1.0;
  double largest = 0.0;
  for (const auto& [pile, count] : pile_pushes) largest = std::max(largest, count);
  state.counters["piles"] = static_cast<double>(pile_pushes.size());
  // The longest chain of pushes each of which needs the one before it (sharing a buddy): no
  // order of work, on any number of cores, does them in fewer steps than this.
  std::vector<std::uint32_t> depth(trace.x.size(), 0);
  std::uint32_t chain = 0;
  for (const auto& [a, b] : trace.pairs) {
    const std::uint32_t d = std::max(depth[a], depth[b]) + 1;
    depth[a] = depth[b] = d;
    chain = std::max(chain, d);
  }
  state.counters["longest_chain"] = static_cast<double>(chain);
  state.counters["largest_pile_pushes"] = largest;
  state.counters["per_push"] = benchmark::Counter(
      pushes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CrowdPushReplay)->Args({10000, 1})->Args({10000, 9})->Unit(benchmark::kMicrosecond);

// The same pushes with nothing waiting on anything: each applied to four independent copies of
// the crowd, one after another, so the processor may overlap four chains of dependent
// arithmetic. What a push costs here bounds what any order of work could make it cost on one
// core. Args as above.
void BM_CrowdPushThroughput(benchmark::State& state) {
  using namespace perchkin::crowd;
  const auto n = static_cast<std::size_t>(state.range(0));
  perchkin::bench::Companion c(n, static_cast<double>(state.range(1)));
  for (int i = 0; i < 8 * 60; ++i) c.tick();
  const perchkin::CrowdPushTrace t =
      perchkin::trace_crowd_pushes(c.app.world.crew, c.app.world.view);
  constexpr int kCopies = 4;
  std::vector<double> x[kCopies];
  std::vector<Mark> pressed[kCopies];
  for (auto _ : state) {
    for (int k = 0; k < kCopies; ++k) {
      x[k] = t.x;
      pressed[k].assign(t.x.size(), Mark{});
    }
    for (const auto& [a, b] : t.pairs) {
      const PairRule rule = t.uniform ? pair_rule(t.uniform_unit, t.uniform_unit)
                                      : pair_rule(t.unit[a], t.unit[b]);
      const Range ra{t.lo[a], t.hi[a]}, rb{t.lo[b], t.hi[b]};
      for (int k = 0; k < kCopies; ++k)
        push_bodies(rule, x[k][a], ra, pressed[k][a].on, x[k][b], rb, pressed[k][b]);
    }
    benchmark::DoNotOptimize(x[0].data());
  }
  if (x[kCopies - 1] != t.x_after) state.SkipWithError("a copy left other positions than the pass");
  state.counters["per_push"] = benchmark::Counter(
      static_cast<double>(t.pairs.size()) * kCopies,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CrowdPushThroughput)->Args({10000, 1})->Args({10000, 9})->Unit(benchmark::kMicrosecond);

// The record a buddy costs before any heap it owns (bubble text, samples, outboxes).
void BM_BuddyRecord(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(sizeof(perchkin::Buddy));
  state.counters["bytes"] = static_cast<double>(sizeof(perchkin::Buddy));
}
BENCHMARK(BM_BuddyRecord)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
