// Crew::add and Crew::by_x at 1,000, 100,000 and 1,000,000 buddies.
#include "crowd/crew.h"

#include <benchmark/benchmark.h>

#include <numeric>

namespace {

perchkin::Crew make_crew(std::size_t n) {
  perchkin::Crew crew;
  crew.rng = perchkin::Xorshift64(12345);
  crew.max_buddies = n;
  crew.buddies.reserve(n);
  for (std::size_t i = 0; i < n; ++i) (void)crew.add(std::nullopt, false);
  perchkin::Xorshift64 r(99);
  for (auto& b : crew.buddies) b.motion.x = r.range(0.0, 1920.0);
  return crew;
}

void BM_CrewAdd(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    perchkin::Crew crew;
    crew.rng = perchkin::Xorshift64(1);
    crew.max_buddies = n;
    crew.buddies.reserve(n);
    (void)crew.add(std::nullopt, false);
    for (std::size_t i = 1; i < n; ++i) (void)crew.add(std::nullopt, true);
    benchmark::DoNotOptimize(crew.buddies.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CrewAdd)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_CrewByX(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const perchkin::Crew crew = make_crew(n);
  std::vector<std::size_t> order(n);
  for (auto _ : state) {
    std::iota(order.begin(), order.end(), 0);
    crew.by_x_in_place(order);
    benchmark::DoNotOptimize(order.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CrewByX)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
