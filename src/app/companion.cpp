// Start-up in its fixed order, the single-instance rule, the tail, and the quit client.
#include "app/companion.h"

#include "app/app.h"
#include "app/platform.h"
#include "app/studio_app.h"
#include "base/command_table.h"
#include "crowd/rng.h"
#include "ipc/port.h"
#include "settings/settings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace perchkin {

namespace {

int single_instance_rule(const LaunchOptions& options) {
  if (options.background || options.bench || options.headless) {
    std::fprintf(stderr, "Perchkin is already running on port %u.\n",
                 static_cast<unsigned>(options.port));
    return 1;
  }
  auto result = send_command(options.port, command_entry(CommandId::studio).name, json::object());
  if (const auto* reply = std::get_if<CommandReply>(&result); reply && reply->ok) return 0;
  show_message_box(port_taken_message(options.port, options.port_source));
  return 1;
}

// The windows over the virtual screen, the tray icon, the hotkeys, then the renderer on the
// overlay.
Status start_graphics(Backends& b, const LaunchOptions& options) {
  const ScreenRect screen = b.desktop->screen();
  if (Status s = b.shell->create_windows(screen, b.desktop->display_scale()); !s.ok()) return s;
  b.shell->add_tray_icon();
  b.shell->register_hotkeys();
  return b.renderer->start(b.shell->native_window(ShellWindow::overlay), screen, options.software);
}

}  // namespace

int run_companion(const LaunchOptions& options, DesktopFactory desktop) {
  auto channel = std::make_shared<CommandChannel>();
  Result<Listener> listener = bind_listener(options.port);
  if (!listener.ok()) return single_instance_rule(options);
  start_accept_thread(std::move(*listener), channel);

  Result<Backends> backends = make_backends(options, desktop);
  if (backends.ok() && backends->graphics) {
    if (Status started = start_graphics(*backends, options); !started.ok())
      backends = Result<Backends>::fail(started.error);
  }
  if (!backends.ok()) {
    std::fprintf(stderr, "could not start the graphics: %s\n", backends.error.c_str());
    show_message_box(std::string("Could not start the graphics.\n") + graphics_requirement() +
                     "\n\n" + backends.error);
    return 1;
  }

  auto app = std::make_unique<App>();
  app->headless = options.headless;
  app->platform.commands = channel;
  // Headless runs use the defaults and never touch the settings file.
  app->settings = Settings{};
  if (!options.headless) load_app_settings(*app, settings_path());
  app->unleashed = options.unleashed || app->settings.unleashed;
  app->settings.size = scaled_size(app->settings.size, options.scale, app->unleashed);
  if (options.bench) app->bench = BenchState{*options.bench, 0, 0.0, false, {}};
  app->bench_menu = options.bench_menu;

  SystemClock clock;
  // A benchmark compares two builds on the same crew's same doings.
  std::uint64_t seed = wall_clock_nanos();
  if (const char* fixed = std::getenv("PERCHKIN_SEED"); fixed != nullptr && *fixed != '\0')
    seed = std::strtoull(fixed, nullptr, 10);
  init_app(*app, *backends->desktop, clock, options.max_buddies, seed);
  app->platform.shell = backends->shell.get();
  app->platform.renderer = backends->renderer.get();
  app->platform.studio_window = backends->studio.get();
  app->graphics = backends->graphics;
  // Typed text drawings are measured with the fonts they are drawn with.
  if (app->graphics && app->platform.renderer) {
    app->world.canvas_layout.emplace(app->platform.renderer->canvas());
    app->world.scene.layout = &*app->world.canvas_layout;
  }
  if (backends->speech && backends->audio)
    app->platform.voice =
        std::make_unique<Voice>(std::move(backends->speech), std::move(backends->audio));
  if (app->bench) app->bench->phase_start = clock.now();
  app->wear.decoder = std::move(backends->images);
  app->wear.chooser = std::move(backends->chooser);
  if (!options.headless) {
    app->wear.folder = beside_settings("wear");
    start_wear_scan(*app);
  }

  // A window system that goes away ends the process from inside its own call; what the user
  // changed is saved first.
  if (app->graphics) {
    App* saving = app.get();
    backends->shell->set_last_words([saving] {
      if (settings_unsaved(*saving)) save_app_settings(*saving);
    });
  }

  begin_timer_resolution();
  const int code = run_loop(*app);
  end_timer_resolution();
  stop_wear_threads(*app);

  // Closing the Studio saves what is unsaved.
  close_studio(*app);
  if (app->graphics) {
    backends->shell->set_last_words({});
    backends->shell->remove_tray_icon();
  }
  // Requests still queued get no answer; their connections learn it at once.
  channel->close();
  return code;
}

int run_quit_client(std::uint16_t port) {
  auto result = send_command(port, command_entry(CommandId::quit).name, json::object());
  if (const auto* reply = std::get_if<CommandReply>(&result)) {
    std::printf("%s\n", reply->msg.c_str());
    std::fflush(stdout);
    return reply->ok ? 0 : 1;
  }
  std::printf("buddy is not running\n");
  std::fflush(stdout);
  return 1;
}

}  // namespace perchkin
