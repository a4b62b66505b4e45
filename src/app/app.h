// The companion's state, owned by the user-interface thread.
#pragma once

#include "app/clock.h"
#include "app/input.h"
#include "base/tick.h"
#include "brain/world_view.h"
#include "crowd/crew.h"
#include "gpu/overlay_2d.h"
#include "gpu/renderer.h"
#include "gpu/render_entries.h"
#include "ipc/command.h"
#include "menu/menu.h"
#include "props/effects.h"
#include "scene/scene.h"
#include "scene/text_layout.h"
#include "settings/settings.h"
#include "studio/studio.h"
#include "studio/studio_window.h"
#include "voice/voice.h"
#include "wear/wear_store.h"
#include "win/desktop.h"
#include "win/shell.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

namespace perchkin {

inline constexpr double kMaxCreditedFrame = 1.0 / 12.0;
inline constexpr int kMaxTicksPerFrame = 5;
inline constexpr std::size_t kStatsRing = 300;

// Keeps the last kStatsRing frame figures.
struct StatsRing {
  std::vector<float> values;
  std::size_t head = 0;  // oldest entry once full

  void push(float v);
  void clear() {
    values.clear();
    head = 0;
  }
  bool empty() const { return values.empty(); }
  double mean() const;
  double max() const;
  // The entry at max(0, floor(0.95 * count) - 1) of the sorted values.
  double p95() const;
};

// "tick avg {a}ms max {b}ms; frame gap avg {c}ms p95 {d}ms max {e}ms"
std::string stats_text(const StatsRing& work_ms, const StatsRing& gap_ms);

struct BenchState {
  std::vector<std::size_t> targets;
  std::size_t index = 0;
  double phase_start = 0.0;
  bool recorded = false;
  std::vector<double> recorded_x;
  // Processor time of the whole process (drawing threads too) and frames since `recorded`:
  // steadier than the frame gap on a machine shared with other work.
  std::clock_t cpu_start = 0;
  std::size_t frames = 0;
};

// What the world tick reads and writes besides the loop's clock and the settings.
struct WorldState {
  Crew crew;
  WorldView view;
  std::vector<Support> surfaces;       // the desktop's, from the last scan
  std::vector<Support> tick_surfaces;  // plus the drawn platforms, rebuilt every tick
  Scene scene;
  Effects effects;
  RenderEntries render;  // per-buddy drawing state, kept only while graphics exist
  EstimatedTextLayout estimated_layout;
  std::optional<CanvasTextLayout> canvas_layout;  // the renderer's fonts, while graphics exist
  double next_scan = 0.0;        // world time of the next surface scan
  double next_type_probe = 0.0;  // world time of the next typing probe
  std::uint32_t keystrokes = 0;  // key presses seen by the probe, only ever grows
  // Points in the crew's drawing jobs: counted at the start of every tick and raised by each job
  // queued since, so it is never below what the crew holds.
  std::size_t drawing_points = 0;
};

// The user's hand and eyes on the companion: the pointer, the selection, the menu, the Studio.
struct UiState {
  EventRecords events;        // what the window procedures left for this frame
  CursorPos cursor;           // read once per tick
  CursorPos previous_cursor;  // last tick's, for petting
  std::optional<std::uint32_t> hover;
  GrabRect grab_rect;
  std::optional<PointerPress> press;
  bool dragging = false;
  std::optional<std::uint32_t> holding;
  double pet_meter = 0.0;
  SelectionBox selection;
  // Kept by the Studio's per-frame handling: the cursor is over its window, which hides the
  // buddies beneath from the pointer.
  bool cursor_over_studio = false;
  // The Studio's pages and its input record.
  StudioState studio;
  StudioInput studio_input;
  std::size_t studio_crew_shown = 0;        // the crew size its last frame showed
  std::optional<double> studio_animate_at;  // a frame wanted without input, from this time
  // The action menu's side: whether it is open, a request to open it and one to close it.
  bool menu_open = false;
  std::optional<MenuRequest> menu_request;
  bool menu_close = false;
  MenuState menu;
  std::array<Samples, 2> menu_clicks;  // the open and choose clicks, made on first use
};

// The platform's side, owned by the companion's backends; the voice is the app's own.
struct PlatformLinks {
  Desktop* desktop = nullptr;
  Shell* shell = nullptr;
  Renderer* renderer = nullptr;
  LoopClock* clock = nullptr;
  StudioWindow* studio_window = nullptr;  // none in headless mode
  std::shared_ptr<CommandChannel> commands;
  std::unique_ptr<Voice> voice;  // null in tests that need no sound
};

// The user's hat and glasses images, filled through the channel by the start-up scan and the
// chooser threads. No folder in headless mode: nothing is scanned or copied.
struct WearState {
  WearImages images;
  std::shared_ptr<WearChannel> channel = std::make_shared<WearChannel>();
  std::shared_ptr<std::atomic<bool>> chooser_open = std::make_shared<std::atomic<bool>>(false);
  std::filesystem::path folder;
  std::shared_ptr<ImageDecoder> decoder;
  std::shared_ptr<FileChooser> chooser;
  std::jthread scan;
};

struct App {
  Settings settings;
  bool unleashed = false;  // --unleashed or the saved setting
  bool headless = true;
  ScreenRect screen;
  double display_scale = 1.0;
  bool graphics = false;  // a real desktop with a renderer; false on the fake desktop
  WorldState world;
  UiState ui;
  PlatformLinks platform;
  WearState wear;

  // the loop
  bool running = true;
  bool user_hidden = false;
  bool fullscreen_front = false;  // the last full-screen check saw a full-screen program in front
  bool quiet = false;
  bool redraw_wanted = false;  // the next frame is drawn even if nothing changed
  double sim_clock = 0.0;
  double paused_time = 0.0;
  double accumulator = 0.0;
  double last_frame = 0.0;
  StatsRing work_ms;
  StatsRing gap_ms;
  std::size_t stats_crew_len = 0;
  std::optional<double> settings_dirty_at;
  double next_fullscreen_check = 0.0;
  std::optional<BenchState> bench;
  bool bench_menu = false;
  int exit_code = 0;

  // Where settings are saved; empty in headless mode, where nothing is ever written.
  std::filesystem::path settings_file;
  // A file that did not load is moved aside before anything is saved over it; when it cannot
  // be moved, nothing is saved this run. The notice tells the user where it went.
  bool settings_locked = false;
  std::string settings_load_notice;
  // The last save's failure, shown until a save succeeds; a failed save is tried again with the
  // next change and at quit.
  std::string settings_save_error;
};

// Builds App around a desktop and clock: the crew limit, the screen and scale, the settings
// applied, the generators seeded, and one buddy.
void init_app(App& app, Desktop& desktop, LoopClock& clock, std::size_t max_buddies,
              std::uint64_t seed_nanos);
// Pushes the settings into the crew after a change (limit, world copies, speech lines).
void apply_settings(App& app);
// Loads the settings file into the record; a file that does not load as a whole is kept aside.
void load_app_settings(App& app, const std::filesystem::path& file);
// Saves now (clearing the pending change), reporting a failure once on standard error.
void save_app_settings(App& app);
// A change not yet on disk: one waiting for its half second, or a save that failed.
bool settings_unsaved(const App& app);

// One frame of the loop; returns false when the loop should end.
bool run_frame(App& app);
// Runs frames until `running` is cleared; returns the exit code.
int run_loop(App& app);
// Custom wear: takes in the images the worker threads decoded (once per frame); the Studio's
// delete and choose actions; the start-up scan and its end.
void receive_wear_images(App& app);
// Points the frame at the selected hat and glasses images, if they have arrived.
void set_custom_wear(const App& app, FrameInput& in);
bool delete_wear_image(App& app, WearKind kind, std::string_view name);
void choose_wear_image(App& app, WearKind kind);
void start_wear_scan(App& app);
void stop_wear_threads(App& app);
// One world tick: commands, sensing, brains, social play, collisions, events, hazards.
void world_tick(App& app);

}  // namespace perchkin
