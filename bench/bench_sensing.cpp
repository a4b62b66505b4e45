// What sensing the desktop costs per world tick with 50 windows, over a recorded property set:
// the cache of window-manager state, refreshed only where PropertyNotify and ConfigureNotify
// said something changed, the surface scan and cover tests once a second, the key probe twenty
// times a second. "reads" counts the property and geometry requests that would go to the
// display server (round trips); the pointer and idle queries, two more per tick, are not in it.
#include "win/surfaces.h"
#include "win/wm_recorded.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace perchkin;

// The sensing of one desktop through the cache, as the X11 desktop does it.
class CachedDesktop final : public Desktop {
 public:
  explicit CachedDesktop(RecordedWmSource recorded) : source(std::move(recorded)) {}
  RecordedWmSource source;
  WmCache cache;
  ScreenRect screen() override { return {}; }
  double display_scale() override { return 1.0; }
  std::vector<ScreenRect> work_areas() override { return {{0.0, 0.0, 1920.0, 1050.0}}; }
  std::vector<DesktopWindow> windows() override { return cache.windows(source, {}); }
  PointOwner window_at(double x, double y) override {
    if (cache.stale()) (void)cache.windows(source, {});
    return cover_at(cache.listed(), {}, x, y);
  }
  CursorPos cursor() override { return {}; }
  PointerButtons buttons() override { return {}; }
  double idle_seconds() override { return 0.0; }
  bool key_pressed_since_last_probe() override { return false; }
  bool fullscreen_in_front() override { return false; }
};

enum Scenario : int {
  kStill = 0,      // nothing changes
  kDragging = 1,   // one window is dragged: a ConfigureNotify on its frame every tick
  kUncached = 2,   // every window re-read at every scan, as without the cache
};

// Args: number of windows, scenario. One iteration is one world tick.
void BM_SensingTick(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto scenario = static_cast<Scenario>(state.range(1));
  CachedDesktop desktop(recorded_desktop(count));
  const ScreenRect screen;
  (void)scan_surfaces(desktop, screen, 1.0, 9.0, true);  // the first scan reads everything
  const std::size_t reads_before = desktop.source.reads;
  auto& dragged = std::next(desktop.source.windows.begin(), 1)->second;  // past the dock
  std::int64_t tick = 0;
  for (auto _ : state) {
    if (scenario == kDragging) {
      dragged.info.client.left += 1.0;
      dragged.info.client.right += 1.0;
      (void)desktop.cache.changed(dragged.frame, WmStale::geometry);
    }
    if (tick % 3 == 0) benchmark::DoNotOptimize(desktop.key_pressed_since_last_probe());
    if (tick % 60 == 0) {
      if (scenario == kUncached)
        for (const auto& [id, w] : desktop.source.windows) {
          (void)desktop.cache.changed(id, WmStale::properties);
          (void)desktop.cache.changed(id, WmStale::geometry);
        }
      auto surfaces = scan_surfaces(desktop, screen, 1.0, 9.0, true);
      benchmark::DoNotOptimize(surfaces.data());
      // The cover test under ten buddies' feet.
      for (int b = 0; b < 10; ++b)
        benchmark::DoNotOptimize(desktop.window_at(100.0 + 150.0 * b, 400.0));
    }
    ++tick;
  }
  state.counters["reads_per_tick"] = benchmark::Counter(
      static_cast<double>(desktop.source.reads - reads_before) / static_cast<double>(tick));
}
BENCHMARK(BM_SensingTick)
    ->ArgNames({"windows", "scenario"})
    ->Args({50, kStill})
    ->Args({50, kDragging})
    ->Args({50, kUncached})
    ->Args({200, kStill})
    ->Args({200, kDragging});

}  // namespace

BENCHMARK_MAIN();
