// Developer tool: runs a crew on the fake desktop for a while, builds the frame's instances and
// dirty tiles exactly as the renderer would, and draws them with the CPU reference rasterizer
// into a PNG of the buffer rectangle (or the whole overlay with --full).
//
//   crew_shot [output.png] [--buddies N] [--seconds S] [--seed K] [--glow STRENGTH] [--full]
//
// Defaults: 20 buddies, 6 simulated seconds, seed 1, no glow, the buffer rectangle only.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app/clock.h"
#include "app/commands.h"
#include "gpu/frame_plan.h"
#include "gpu/instances.h"
#include "gpu/png.h"
#include "gpu/raster_cpu.h"
#include "gpu/render_entries.h"
#include "base/text.h"
#include "sprites/frames.h"
#include "win/desktop.h"

namespace {

using namespace perchkin;

int usage() {
  std::fputs(
      "usage: crew_shot [output.png] [--buddies N (1-200)] [--seconds S (0-600)] [--seed K]\n"
      "                 [--glow STRENGTH (0-2.5)] [--full]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output = "crew_shot.png";
  std::size_t buddies = 20;
  double seconds = 6.0;
  std::uint64_t seed = 1;
  double glow = 0.0;
  bool full = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--buddies" && has_value) {
      const auto n = parse_unsigned(argv[++i]);
      if (!n || *n < 1 || *n > 200) return usage();
      buddies = static_cast<std::size_t>(*n);
    } else if (arg == "--seconds" && has_value) {
      const auto s = parse_double(argv[++i]);
      if (!s || !(*s >= 0.0 && *s <= 600.0)) return usage();
      seconds = *s;
    } else if (arg == "--seed" && has_value) {
      const auto k = parse_unsigned(argv[++i]);
      if (!k) return usage();
      seed = static_cast<std::uint64_t>(*k);
    } else if (arg == "--glow" && has_value) {
      const auto g = parse_double(argv[++i]);
      if (!g || !(*g >= 0.0 && *g <= 2.5)) return usage();
      glow = *g;
    } else if (arg == "--full") {
      full = true;
    } else if (!arg.empty() && arg[0] != '-') {
      output = arg;
    } else {
      return usage();
    }
  }

  App app;
  FakeDesktop desktop;
  VirtualClock clock;
  init_app(app, desktop, clock, 200, seed);
  if (buddies > 1) {
    const CommandReply reply = run_command(app, "crew", json{{"add", buddies - 1}});
    if (!reply.ok) {
      std::fprintf(stderr, "crew_shot: %s\n", reply.msg.c_str());
      return 1;
    }
  }
  app.settings.look.glow = glow > 0.0;
  app.settings.look.glow_power = glow;

  // The world tick does not hand its render requests over yet, so squash kicks and bursts are
  // not shown; positions, the spring's own motion, trail and sleep timing are.
  RenderEntries entries;
  const auto ticks = static_cast<long>(seconds * 60.0);
  for (long t = 0; t < ticks; ++t) {
    app.sim_clock += kTick;
    world_tick(app);
    EntryTickInput in;
    in.now = app.sim_clock;
    in.overlay_left = app.screen.left;
    in.overlay_top = app.screen.top;
    in.look = app.settings.look;
    (void)update_render_entries(entries, app.crew, {}, in);
  }
  if (ticks == 0) sync_entries(entries, app.crew);

  InstanceParams params;
  params.alpha = 1.0;
  params.overlay_left = app.screen.left;
  params.overlay_top = app.screen.top;
  params.look = app.settings.look;
  std::vector<BuddyInstance> instances;
  build_instances(instances, app.crew, entries, params);

  const int width = static_cast<int>(app.screen.right - app.screen.left);
  const int height = static_cast<int>(app.screen.bottom - app.screen.top);
  MarkInput mark_in;
  mark_in.overlay_width = width;
  mark_in.overlay_height = height;
  mark_in.overlay_left = app.screen.left;
  mark_in.overlay_top = app.screen.top;
  mark_in.box_cells = instance_box_cells(app.settings.look, !app.settings.custom_hat.empty(),
                                         !app.settings.custom_glasses.empty());
  SceneActivity activity =
      scene_activity(app.crew, entries, app.scene, app.effects, app.sim_clock);
  const TileGrid marks = mark_frame(mark_in, instances, app.crew, entries, app.effects, activity);

  // The buffer the renderer would settle on for this frame.
  PixelRect buffer{0, 0, width, height};
  if (!full)
    if (const auto tight = tight_box(marks)) buffer = wanted_rect(*tight, width, height);

  FrameState state;
  state.previous_grid = marks;  // as if a frame had been drawn before: plan this one normally
  state.buffer = buffer;
  state.forced_redraw = true;
  const FramePlan plan = plan_frame(state, instances, marks, activity, app.settings.look);

  RgbaImage image = make_image(plan.buffer.right - plan.buffer.left, plan.buffer.bottom - plan.buffer.top);
  fill(image, {0.12f, 0.13f, 0.16f}, 1.0f);  // a dark desktop, so glow and shadows show
  draw_instances(image, plan.constants, instances, build_sprite_textures());
  if (const std::string error = write_png(output, image); !error.empty()) {
    std::fprintf(stderr, "crew_shot: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %zu buddies after %.2f s, %zu instances, buffer %d,%d-%d,%d (%dx%d), %zu clear rects\n",
              output.c_str(), app.crew.buddies.size(), seconds, instances.size(), plan.buffer.left,
              plan.buffer.top, plan.buffer.right, plan.buffer.bottom, image.width, image.height,
              plan.clears.size());
  return 0;
}
