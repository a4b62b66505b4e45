// The frame loop: fixed 1/60 s ticks, frame statistics, the settings save, the benchmark.
#include "app/app.h"

#include "app/autostart.h"
#include "app/commands.h"
#include "app/launch.h"
#include "app/loop_shell.h"
#include "app/menu_app.h"
#include "app/studio_app.h"
#include "base/text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>

namespace perchkin {

void load_app_settings(App& app, const std::filesystem::path& file) {
  app.settings_file = file;
  SettingsLoad loaded = load_settings(file);
  app.settings = std::move(loaded.settings);
  if (loaded.problem.empty()) return;
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  auto aside =
      keep_unloadable_settings(file, std::chrono::duration_cast<std::chrono::seconds>(now).count());
  if (aside.ok()) {
    std::fprintf(stderr,
                 "the settings file %s could not be loaded (%s); it was kept as %s and the "
                 "defaults are used\n",
                 file.string().c_str(), loaded.problem.c_str(), aside->string().c_str());
    app.settings_load_notice = "Your settings file could not be loaded (" + loaded.problem +
                               "). It was kept as " + aside->string() +
                               " and the defaults are used.";
    return;
  }
  // Saving would destroy what the user has; this run's changes are the smaller loss.
  app.settings_locked = true;
  std::fprintf(stderr,
               "the settings file %s could not be loaded (%s) nor moved aside (%s); the "
               "defaults are used and nothing is saved this run\n",
               file.string().c_str(), loaded.problem.c_str(), aside.error.c_str());
  app.settings_load_notice = "Your settings file could not be loaded (" + loaded.problem +
                             ") nor moved aside. The defaults are used and changes are not "
                             "saved this run.";
}

void save_app_settings(App& app) {
  app.settings_dirty_at.reset();
  if (app.settings_file.empty() || app.settings_locked) return;
  Status saved = save_settings(app.settings_file, app.settings);
  if (saved.ok()) {
    if (!app.settings_save_error.empty()) {
      std::fprintf(stderr, "the settings are saved in %s again\n",
                   app.settings_file.string().c_str());
      app.ui.studio_input.needs_redraw = true;
    }
    app.settings_save_error.clear();
    return;
  }
  if (saved.error != app.settings_save_error) {
    std::fprintf(stderr, "%s; trying again with the next change and at quit\n",
                 saved.error.c_str());
    app.ui.studio_input.needs_redraw = true;
  }
  app.settings_save_error = std::move(saved.error);
}

bool settings_unsaved(const App& app) {
  return app.settings_dirty_at.has_value() || !app.settings_save_error.empty();
}

void StatsRing::push(float v) {
  if (values.size() < kStatsRing) {
    values.push_back(v);
    return;
  }
  values[head] = v;
  head = (head + 1) % kStatsRing;
}

double StatsRing::mean() const {
  if (values.empty()) return 0.0;
  double sum = 0.0;
  for (float v : values) sum += static_cast<double>(v);
  return sum / static_cast<double>(values.size());
}

double StatsRing::max() const {
  if (values.empty()) return 0.0;
  return static_cast<double>(*std::max_element(values.begin(), values.end()));
}

double StatsRing::p95() const {
  if (values.empty()) return 0.0;
  std::vector<float> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  const auto count = static_cast<float>(sorted.size());
  const long index = std::max(0L, static_cast<long>(0.95f * count) - 1);
  return static_cast<double>(sorted[static_cast<std::size_t>(index)]);
}

std::string stats_text(const StatsRing& work_ms, const StatsRing& gap_ms) {
  return "tick avg " + one_decimal(work_ms.mean()) + "ms max " + one_decimal(work_ms.max()) +
         "ms; frame gap avg " + one_decimal(gap_ms.mean()) + "ms p95 " +
         one_decimal(gap_ms.p95()) + "ms max " + one_decimal(gap_ms.max()) + "ms";
}

void apply_settings(App& app) {
  app.world.crew.apply_settings(app.settings, app.unleashed);
  // Only a companion with a settings file owns the login entry; headless runs and tests don't.
  if (!app.settings_file.empty()) (void)set_autostart(app.settings.autostart);
}

void init_app(App& app, Desktop& desktop, LoopClock& clock, std::size_t max_buddies,
              std::uint64_t seed_nanos) {
  app.platform.desktop = &desktop;
  app.platform.clock = &clock;
  app.screen = desktop.screen();
  app.display_scale = desktop.display_scale();
  app.world.crew.start_limit = crew_limit(max_buddies);
  app.world.crew.scale = app.display_scale;
  app.world.crew.seed(seed_nanos);
  app.world.scene.layout = &app.world.estimated_layout;
  app.world.scene.origin_x = app.screen.left;
  app.world.scene.origin_y = app.screen.top;
  app.world.effects.rng = Xorshift64(group_seed(seed_nanos ^ 0x5EED));
  app.world.render.rng = Xorshift64(group_seed(seed_nanos ^ 0xB0057));
  app.world.effects.scale = app.display_scale;
  app.world.effects.overlay_left = app.screen.left;
  app.world.effects.overlay_top = app.screen.top;
  app.world.effects.width = app.screen.right - app.screen.left;
  app.world.effects.height = app.screen.bottom - app.screen.top;
  apply_settings(app);
  (void)app.world.crew.add(std::nullopt, false);
  app.world.crew.rebuild_snapshot();
  app.last_frame = clock.now();
}

namespace {

void save_if_due(App& app, double now) {
  if (!app.settings_dirty_at || now - *app.settings_dirty_at <= 0.5) return;
  save_app_settings(app);
}

// The least a world tick could cost with this crew, for comparison with the tick figures: one
// stable sort of the crew by x and one pass reading every buddy's record. The best of five, which
// a busy machine inflates least.
double tick_floor_ms(const Crew& crew) {
  std::vector<std::uint32_t> order(crew.buddies.size());
  double best = 0.0;
  volatile double sink = 0.0;
  for (int rep = 0; rep < 5; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return crew.buddies[a].motion.x < crew.buddies[b].motion.x;
    });
    double sum = 0.0;
    for (const Buddy& b : crew.buddies) sum += b.motion.y + b.motion.vx;
    sink = sink + sum + static_cast<double>(order.empty() ? 0u : order.front());
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    best = rep == 0 ? spent.count() : std::min(best, spent.count());
  }
  return best;
}

void bench_step(App& app, double now) {
  BenchState& bench = *app.bench;
  if (bench.index >= bench.targets.size()) {
    app.running = false;
    return;
  }
  const std::size_t target = bench.targets[bench.index];
  Crew& crew = app.world.crew;
  // Menu drawing is part of the measurement when asked for.
  if (app.bench_menu && !app.ui.menu.open && !crew.buddies.empty())
    (void)open_menu(app, MenuRequest{crew.buddies.front().id, 960.0 * app.display_scale,
                                     500.0 * app.display_scale, {}});
  if (crew.buddies.size() < target) {
    const std::size_t missing = target - crew.buddies.size();
    const std::size_t batch = std::max<std::size_t>(1, std::min(target / 40 + 5, missing));
    std::size_t added = 0;
    // At the crew limit adding fails; the phase then measures the crew there is.
    while (added < batch && crew.add(std::nullopt, !crew.buddies.empty()).ok()) ++added;
    if (added > 0) {
      bench.phase_start = now;
      bench.recorded = false;
      return;
    }
  }
  const double elapsed = now - bench.phase_start;
  if (!bench.recorded && elapsed >= 3.0) {
    bench.recorded_x.clear();
    for (const Buddy& b : crew.buddies) bench.recorded_x.push_back(b.motion.x);
    bench.recorded = true;
    bench.cpu_start = std::clock();
    bench.frames = 0;
  }
  if (bench.recorded) ++bench.frames;
  if (elapsed < 8.0 || app.work_ms.empty() || app.gap_ms.empty()) return;
  std::size_t settled = 0, moved = 0;
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& b = crew.buddies[i];
    if (b.motion.mode != BuddyMode::fall) ++settled;
    if (i < bench.recorded_x.size() && !(std::abs(b.motion.x - bench.recorded_x[i]) <= 0.5))
      ++moved;
  }
  const double cpu_ms = static_cast<double>(std::clock() - bench.cpu_start) * 1000.0 /
                        static_cast<double>(CLOCKS_PER_SEC) /
                        static_cast<double>(std::max<std::size_t>(1, bench.frames));
  std::printf("%4zu buddies (%zu settled, %zu moved): %s\n", target, settled, moved,
              stats_text(app.work_ms, app.gap_ms).c_str());
  std::fflush(stdout);
  // Beside the line, which scripts read as it stands: figures steadier on a busy machine.
  std::fprintf(stderr, "%4zu buddies: processor %sms a frame; floor %sms a tick\n", target,
               one_decimal(cpu_ms).c_str(), one_decimal(tick_floor_ms(crew)).c_str());
  bench.index += 1;
  bench.phase_start = now;
  bench.recorded = false;
  if (bench.index >= bench.targets.size()) app.running = false;
}

}  // namespace

bool run_frame(App& app) {
  LoopClock& clock = *app.platform.clock;
  const bool graphics = app.graphics;
  if (graphics) pump_shell(app);
  studio_step(app);
  receive_wear_images(app);
  save_if_due(app, clock.now());
  if (graphics) check_fullscreen(app, clock.now());

  if (app.quiet) {
    handle_commands(app);
    if (app.platform.desktop) app.platform.desktop->drain_events();
    app.accumulator = 0.0;
    // An open Studio stays responsive while the crew is hidden.
    const bool studio =
        app.platform.studio_window != nullptr && app.platform.studio_window->is_open();
    clock.sleep(studio ? 0.016 : 0.100);
    return app.running;
  }

  const double now = clock.now();
  const double dt = now - app.last_frame;
  app.last_frame = now;
  app.accumulator += std::min(dt, kMaxCreditedFrame);
  const double work_start = now;

  int ticks = 0;
  while (app.accumulator >= kTick && ticks < kMaxTicksPerFrame) {
    // A pausing menu holds the world's clock; the time it held goes to paused_time. Holding
    // the clock itself keeps every time the world stamps (bubbles, hazards, particles) on the
    // same clock the frame is drawn with.
    if (menu_pauses_world(app)) app.paused_time += kTick;
    else app.sim_clock += kTick;
    world_tick(app);
    app.accumulator -= kTick;
    ++ticks;
  }
  if (ticks == kMaxTicksPerFrame) app.accumulator = 0.0;

  if (app.world.crew.buddies.size() != app.stats_crew_len) {
    app.work_ms.clear();
    app.gap_ms.clear();
    app.stats_crew_len = app.world.crew.buddies.size();
  }

  FrameResult drawn;
  if (graphics) {
    const std::optional<FrameResult> result = draw_frame(app);
    if (!result) {
      app.exit_code = 1;
      app.running = false;
      return false;
    }
    drawn = *result;
  }

  const double after = clock.now();
  // Waiting for the display is not work.
  const double work = (after - work_start) * 1000.0 - drawn.present_ms;
  app.work_ms.push(static_cast<float>(std::max(0.0, work)));
  app.gap_ms.push(static_cast<float>(dt * 1000.0));

  if (app.bench) bench_step(app, after);

  // A presented frame already waited for the display; a skipped one sleeps.
  if (!graphics) clock.sleep(0.016);
  else if (!drawn.drawn) clock.sleep(0.012);
  return app.running;
}

int run_loop(App& app) {
  app.last_frame = app.platform.clock->now();
  while (run_frame(app)) {
  }
  return app.exit_code;
}

}  // namespace perchkin
