// Developer tool: runs a crew on the fake desktop for a while, builds the frame's instances and
// dirty tiles exactly as the renderer would, and draws them with the CPU reference rasterizer
// into a PNG of the buffer rectangle (or the whole overlay with --full). On the Linux desktop the
// two 2D overlay passes are drawn around it through the Cairo canvas, as the renderer does;
// --busy fills the scene first (bubbles, drawings, typed text, hazards, effects, wear).
//
//   crew_shot [output.png] [--buddies N] [--seconds S] [--seed K] [--glow STRENGTH] [--full]
//             [--busy]
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
#include "gpu/overlay_2d.h"
#include "gpu/instances.h"
#include "gpu/png.h"
#include "gpu/raster_cpu.h"
#include "gpu/render_entries.h"
#include "base/text.h"
#include "sprites/frames.h"
#include "win/desktop.h"
#include "scene/scene.h"
#include "shapes/shapes.h"
#include "props/effects.h"

#ifdef PERCHKIN_CAIRO_SHOT
#include "gpu/canvas_cairo.h"
#endif

namespace {

using namespace perchkin;

int usage() {
  std::fputs(
      "usage: crew_shot [output.png] [--buddies N (1-200)] [--seconds S (0-600)] [--seed K]\n"
      "                 [--glow STRENGTH (0-2.5)] [--full] [--busy]\n",
      stderr);
  return 2;
}

// A finished ink line from shape geometry, in overlay pixels.
void add_drawing(Scene& scene, std::uint64_t id, std::string_view kind, PathPoints corners,
                 std::uint32_t rgb, double width) {
  const ShapeResult shape = shape_points(kind, corners);
  if (!shape.ok()) return;
  Drawing d;
  d.id = id;
  for (const PathPoint& p : *shape)
    d.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y)});
  d.color = rgba(rgb);
  d.width = width;
  d.finished = true;
  scene.drawings[id] = d;
  scene.order.push_back(id);
}

// Everything the overlay draws at once: a test scene for the eye, not a simulation.
void fill_busy_scene(App& app, RenderEntries& entries, Canvas& measure) {
  const double now = app.sim_clock;
  Scene& scene = app.world.scene;
  add_drawing(scene, 1, "heart", {{120, 120}, {260, 250}}, 0xFF0000, 5);
  add_drawing(scene, 2, "star", {{300, 110}, {440, 250}}, 0x0000FF, 4);
  add_drawing(scene, 3, "curve", {{480, 260}, {560, 140}, {660, 240}, {760, 130}}, 0x00A000, 6);
  add_drawing(scene, 4, "arrow", {{800, 240}, {960, 150}}, 0x800080, 4);
  TextDrawing text;
  text.text = "Hello from Perchkin!";
  text.size = 34;
  text.color = rgba(0xFF6347);
  text.duration = 1.0;
  text.start = now - 2.0;
  text.origin = {1000, 140};
  scene.texts.push_back(text);
  TextDrawing typing = text;
  typing.text = "still typing...";
  typing.start = now - 0.5;
  typing.origin = {1000, 200};
  typing.color = rgba(0x008080);
  scene.texts.push_back(typing);

  Effects& fx = app.world.effects;
  const auto place = [&](PropKind kind, double x, double y, double size, double age) {
    Prop p;
    p.kind = kind;
    p.id = fx.next_prop_id++;
    p.x = x + app.screen.left;
    p.y = y + app.screen.top;
    p.size = size;
    p.placed_at = now - age;
    fx.props.push_back(p);
    return &fx.props.back();
  };
  place(PropKind::cloud, 1450, 220, 160, 1.0);
  place(PropKind::fire, 1650, 1040, 70, 1.0);
  place(PropKind::bolt, 1250, 160, 120, 0.1);
  Prop* bomb = place(PropKind::bomb, 1780, 560, 50, 3.0);
  bomb->lit_at = now - 1.0;
  Prop* ledge = place(PropKind::platform, 200, 620, 50, 0.0);
  ledge->x2 = 560 + app.screen.left;
  ledge->y2 = 600 + app.screen.top;
  // Let the fire burn and the cloud rain for a moment, with confetti and fireworks in the air.
  start_effect(fx, EffectKind::confetti, 700, 700, now);
  start_effect(fx, EffectKind::hearts, 300, 900, now);
  start_effect(fx, EffectKind::fireworks, 1100, 500, now - 1.5);
  for (int t = 0; t < 40; ++t) step_effects(fx, now - 0.6 + t / 60.0);
  spawn(fx, make_particle(ParticleKind::text, rgba(0xFF4D1A), 1500, 420, 0, 0, 1.0));
  fx.particles.back().text = "BOOM!";
  Ring ring;
  ring.x = 1500;
  ring.y = 460;
  ring.radius = 60;
  ring.color = rgba(0xFFB627);
  ring.width = 5;
  fx.rings.push_back(ring);

  app.settings.look.hat = 1;
  app.settings.look.glasses = 2;
  const char* lines[] = {"hello!", "need a hand? i have two", "WHEEEE!",
                         "what are we building? something big, i hope, with lots of ledges to sit on",
                         "@_@", "<3"};
  for (std::size_t i = 0; i < app.world.crew.buddies.size() && i < 6; ++i) {
    Buddy& b = app.world.crew.buddies[i];
    b.speech.bubble_text = lines[i];
    b.speech.bubble_until = now + 3.0;
    b.speech.bubble_serial += 1;
  }
  // The fourth bubble is still popping up and typing.
  update_bubbles(entries, app.world.crew, measure, app.display_scale, now - 1.0);
  if (app.world.crew.buddies.size() > 3) {
    app.world.crew.buddies[3].speech.bubble_serial += 1;
    update_bubbles(entries, app.world.crew, measure, app.display_scale, now - 0.3);
  }
  if (app.world.crew.buddies.size() > 6) {
    Buddy& dizzy = app.world.crew.buddies[6];
    dizzy.motion.mode = BuddyMode::act;
    dizzy.mind.act = Act::dizzy;
  }
}

#ifdef PERCHKIN_CAIRO_SHOT
// The CPU rasterizer works on RGBA, Cairo on BGRA: swap red and blue in place.
void swap_red_blue(std::vector<std::uint8_t>& pixels) {
  for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string output = "crew_shot.png";
  std::size_t buddies = 20;
  double seconds = 6.0;
  std::uint64_t seed = 1;
  double glow = 0.0;
  bool full = false;
  bool busy = false;
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
    } else if (arg == "--busy") {
      busy = true;
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
    (void)update_render_entries(entries, app.world.crew, {}, in);
  }
  if (ticks == 0) sync_entries(entries, app.world.crew);

#ifdef PERCHKIN_CAIRO_SHOT
  CairoCanvas canvas;
#else
  RecordingCanvas canvas;
#endif
  // Bubbles said during the run are measured as the world tick would with graphics.
  update_bubbles(entries, app.world.crew, canvas, app.display_scale, app.sim_clock);
  if (busy) fill_busy_scene(app, entries, canvas);

  InstanceParams params;
  params.alpha = 1.0;
  params.overlay_left = app.screen.left;
  params.overlay_top = app.screen.top;
  params.look = app.settings.look;
  std::vector<BuddyInstance> instances;
  build_instances(instances, app.world.crew, entries, params);

  const int width = static_cast<int>(app.screen.right - app.screen.left);
  const int height = static_cast<int>(app.screen.bottom - app.screen.top);
  MarkInput mark_in;
  mark_in.overlay_width = width;
  mark_in.overlay_height = height;
  mark_in.overlay_left = app.screen.left;
  mark_in.overlay_top = app.screen.top;
  mark_in.box_cells = instance_box_cells(app.settings.look, !app.settings.custom_hat.empty(),
                                         !app.settings.custom_glasses.empty());
  FrameInput frame_in;
  frame_in.crew = &app.world.crew;
  frame_in.scene = &app.world.scene;
  frame_in.effects = &app.world.effects;
  frame_in.entries = &entries;
  frame_in.settings = &app.settings;
  frame_in.overlay = app.screen;
  frame_in.ui_scale = app.display_scale;
  frame_in.alpha = 1.0;
  frame_in.clock = app.sim_clock;
  std::vector<BoxF> bubble_boxes;
  bubble_dirty_boxes(frame_in, bubble_boxes);
  mark_in.extra_boxes = bubble_boxes;
  SceneActivity activity =
      scene_activity(app.world.crew, entries, app.world.scene, app.world.effects, app.sim_clock);
  const TileGrid marks =
      mark_frame(mark_in, instances, app.world.crew, entries, app.world.effects, activity);

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
#ifdef PERCHKIN_CAIRO_SHOT
  const CanvasTransform origin = canvas_translate(-static_cast<float>(plan.buffer.left),
                                                  -static_cast<float>(plan.buffer.top));
  swap_red_blue(image.pixels);
  canvas.target(image.pixels.data(), image.width, image.height, image.width * 4);
  canvas.set_transform(origin);
  draw_pass_one(canvas, frame_in);
  canvas.flush();
  swap_red_blue(image.pixels);
  draw_instances(image, plan.constants, instances, build_sprite_textures());
  swap_red_blue(image.pixels);
  canvas.target(image.pixels.data(), image.width, image.height, image.width * 4);
  canvas.set_transform(origin);
  draw_pass_two(canvas, frame_in, instances);
  canvas.flush();
  canvas.release_target();
  swap_red_blue(image.pixels);
#else
  draw_instances(image, plan.constants, instances, build_sprite_textures());
#endif
  if (const Status written = write_png(output, image); !written.ok()) {
    std::fprintf(stderr, "crew_shot: %s\n", written.error.c_str());
    return 1;
  }
  std::printf(
      "%s: %zu buddies after %.2f s, %zu instances, buffer %d,%d-%d,%d "
      "(%dx%d), %zu clear rects\n",
      output.c_str(), app.world.crew.buddies.size(), seconds, instances.size(), plan.buffer.left,
      plan.buffer.top, plan.buffer.right, plan.buffer.bottom, image.width, image.height,
      plan.clears.size());
  return 0;
}
