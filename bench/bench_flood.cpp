// What a hostile local client can pile onto the scene, measured on the headless companion with
// 200 buddies: the prop pass with thousands of clouds, whole world ticks after a cloud flood, and
// the memory a flood of maximal turtle programs to every buddy takes.
#include "app/app.h"
#include "app/commands.h"
#include "props/hazards.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace perchkin;

constexpr std::size_t kCrew = 200;

struct Companion {
  FakeDesktop desktop;
  VirtualClock clock;
  App app;

  Companion() {
    init_app(app, desktop, clock, 300, 11);
    (void)run_command(app, "crew", json{{"add", kCrew - 1}});
    // Let the crew land and spread before anything is measured.
    for (int i = 0; i < 240; ++i) tick();
  }
  void tick() {
    app.sim_clock += kTick;
    world_tick(app);
  }
};

// `n` clouds that never expire, over the whole screen, placed as the pencil places them.
void flood_clouds(Effects& fx, std::size_t n, double now) {
  Xorshift64 r(5);
  for (std::size_t i = 0; i < n; ++i) {
    PropPlacement cloud = default_placement(PropKind::cloud, 1920.0 * r.uniform(), 900.0 * r.uniform());
    cloud.size = 1.0;
    cloud.ttl = 0.0;
    place_prop(fx, cloud, now);
  }
}

// The prop pass alone, with range(0) clouds and a few fires among 200 buddies. The props go
// straight into the list, past any cap, so the figure shows how the pass grows with the props.
void BM_PropPassClouds(benchmark::State& state) {
  Companion c;
  Effects& fx = c.app.world.effects;
  Xorshift64 r(9);
  for (std::int64_t i = 0; i < state.range(0); ++i) {
    Prop p;
    p.kind = PropKind::cloud;
    p.id = fx.next_prop_id++;
    p.x = 1920.0 * r.uniform();
    p.y = 900.0 * r.uniform();
    p.size = 1.0;
    fx.props.push_back(p);
  }
  for (int i = 0; i < 8; ++i) {
    Prop fire;
    fire.kind = PropKind::fire;
    fire.id = fx.next_prop_id++;
    fire.x = 100.0 + 220.0 * i;
    fire.y = -10.0;  // above every cloud: rain never reaches it
    fire.size = 70.0;
    fx.props.push_back(fire);
  }
  double now = c.app.sim_clock;
  for (auto _ : state) {
    std::vector<HazardHit> hits = prop_pass(fx, c.app.world.crew, c.app.world.tick_surfaces, now);
    benchmark::DoNotOptimize(hits.data());
    fx.entries.clear();
    now += kTick;
  }
  state.counters["props"] = static_cast<double>(fx.props.size());
}
BENCHMARK(BM_PropPassClouds)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Whole world ticks after range(0) clouds were placed: what the companion does with a flood.
void BM_WorldTickAfterCloudFlood(benchmark::State& state) {
  Companion c;
  flood_clouds(c.app.world.effects, static_cast<std::size_t>(state.range(0)), c.app.sim_clock);
  for (auto _ : state) c.tick();
  state.counters["props"] = static_cast<double>(c.app.world.effects.props.size());
}
BENCHMARK(BM_WorldTickAfterCloudFlood)->Arg(0)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

double resident_mb() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0.0, resident = 0.0;
  if (!(statm >> pages >> resident)) return 0.0;
  return resident * 4096.0 / (1024.0 * 1024.0);
}

// 21 turtle commands to every buddy, each program at the 20,000-point limit. Reports how many
// were accepted, the resident memory afterwards and the ticks while the crew draws.
void BM_TurtleFlood(benchmark::State& state) {
  const std::string prog = "repeat 1000 [repeat 20 [fd 2 rt 1]]";
  for (auto _ : state) {
    state.PauseTiming();
    auto c = std::make_unique<Companion>();
    const double before = resident_mb();
    state.ResumeTiming();
    std::size_t accepted = 0;
    std::string last;
    for (int i = 0; i < 21; ++i) {
      const CommandReply r = run_command(c->app, "turtle", json{{"prog", prog}, {"id", "all"}});
      accepted += r.ok ? 1 : 0;
      last = r.msg;
    }
    state.PauseTiming();
    state.counters["commands_ok"] = static_cast<double>(accepted);
    state.counters["rss_growth_mb"] = resident_mb() - before;
    state.SetLabel(last);
    // Two seconds of the crew drawing what it took on.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 120; ++i) c->tick();
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    state.counters["tick_ms_while_drawing"] = spent.count() / 120.0;
    c.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TurtleFlood)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
