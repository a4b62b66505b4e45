// Frames of this desktop's drawing path through OpenGL with no X server (EGL surfaceless, which
// is llvmpipe on a machine without a graphics card), 1920 x 1080:
// - BM_GlCrowd: 1,000 buddies at size 9 standing on the floor and on window ledges, every tile
//   dirty (the GPU pass alone);
// - BM_OverlayFrame: a whole frame of 200 buddies each talking in a bubble, 400 drawn lines and
//   900 particles (the 2D passes by Cairo, their upload, the GPU pass); the target is 16.7 ms;
// - BM_OneBubbleChanged: the next frame when only one bubble changed, drawn in that bubble's
//   tiles only; its counter `composited_px` is the 2D area handed to OpenGL;
// - BM_CrowdOverDrawings/n/narrow: n walking buddies over 400 finished lines; with narrow = 1
//   a frame redraws the buddies' tiles only (the target keeps the lines' pixels), with 0 the
//   whole overlay, as a target that forgets its pixels must.
// llvmpipe draws on threads of its own, which the benchmark's CPU column leaves out; the counter
// `process_cpu_ms` is the processor time of all threads per frame, and on a loaded machine it is
// the steadier figure (the wall time also counts waiting for a core).
#include <benchmark/benchmark.h>

#include <algorithm>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

#include <sys/resource.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "crowd/crew.h"
#include "gpu/frame_damage.h"
#include "gpu/frame_layers_cairo.h"
#include "gpu/frame_prepare.h"
#include "gpu/overlay_2d.h"
#include "gpu/render_entries.h"
#include "gpu/renderer_gl.h"
#include "props/effects.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "tests/gpu/gl_context.h"

namespace {

using namespace perchkin;

constexpr int kWidth = 1920, kHeight = 1080;

struct Rng {
  std::uint64_t s = 0x9E3779B97F4A7C15ull;
  double next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0);
  }
};

double process_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs `frame` for every iteration and reports the process's processor time per frame.
template <typename F>
void measure(benchmark::State& state, F&& frame) {
  const double start = process_cpu_seconds();
  for (auto _ : state) frame();
  state.counters["process_cpu_ms"] =
      (process_cpu_seconds() - start) * 1000.0 / static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
}

// The GL pass behind the frame target interface, as the X11 presenter uses it.
class GlTarget final : public FrameTarget {
 public:
  explicit GlTarget(GlPass& pass) : pass_(pass) {}
  void clear(std::span<const PixelRect> rects) override { pass_.clear(rects); }
  void composite(const std::uint8_t* bgra, int stride, std::span<const PixelRect> rects) override {
    pass_.composite_layer(bgra, stride, rects);
  }
  void composite_over_clear(const std::uint8_t* bgra, int stride,
                            std::span<const PixelRect> rects) override {
    pass_.copy_layer(bgra, stride, rects);
  }
  void instances(const Frame& frame, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    pass_.draw_instances(frame, list, rects);
  }

 private:
  GlPass& pass_;
};

struct Gl {
  testing_gl::OffscreenContext context;
  GlPass pass;
  SpriteTextures textures = build_sprite_textures();
  bool ok = false;
  Gl() {
    ok = context.ok() && pass.init(textures).ok() && pass.resize(kWidth, kHeight).ok();
  }
};

Gl& gl() {
  static Gl g;
  return g;
}

// A crowd where buddies stand: the floor and four window tops, walking frames, both facings.
struct World {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects fx;
  Settings settings;
  FrameInput in;

  World(int buddies, double unit, int lines, int particles, bool talking) {
    Rng rng;
    const double ledges[] = {1080.0, 640.0, 380.0, 760.0, 860.0};
    for (int i = 0; i < buddies; ++i) {
      Buddy b;
      b.id = static_cast<std::uint32_t>(i);
      b.motion.unit = unit;
      b.motion.x = 8.0 * unit + rng.next() * (kWidth - 16.0 * unit);
      b.motion.y = ledges[i % 5];
      b.motion.mode = i % 3 == 0 ? BuddyMode::idle : BuddyMode::walk;
      b.motion.facing = i % 2 ? 1 : -1;
      b.mind.clock = rng.next() * 10.0;
      if (talking) {
        b.speech.bubble_text = "hello from buddy number " + std::to_string(i);
        b.speech.bubble_until = 100.0;
        b.speech.bubble_serial = 1;
      }
      crew.buddies.push_back(b);
      RenderEntry e;
      e.id = b.id;
      e.prev_x = e.x = b.motion.x;
      e.prev_y = e.y = b.motion.y;
      entries.entries.push_back(e);
    }
    for (int i = 0; i < lines; ++i) {
      Drawing d;
      d.id = static_cast<std::uint64_t>(i + 1);
      const double x = rng.next() * kWidth, y = rng.next() * kHeight;
      d.points = {{static_cast<float>(x), static_cast<float>(y)},
                  {static_cast<float>(x + 60.0 * rng.next()), static_cast<float>(y + 40.0)},
                  {static_cast<float>(x + 120.0 * rng.next()), static_cast<float>(y + 10.0)}};
      d.color = rgba(0xFF0000);
      d.width = 4;
      d.finished = true;
      scene.drawings[d.id] = d;
      scene.order.push_back(d.id);
    }
    for (int i = 0; i < particles; ++i) {
      const auto kind = static_cast<ParticleKind>(i % 4);  // rectangles, dots, hearts, sparkles
      Particle p = make_particle(kind, rgba(0x4D9DFF), rng.next() * kWidth, rng.next() * kHeight,
                                 0, 0, 2);
      p.width = 8;
      p.height = 6;
      p.age = static_cast<float>(rng.next());
      fx.particles.push_back(p);
    }
    in.crew = &crew;
    in.entries = &entries;
    in.scene = &scene;
    in.effects = &fx;
    in.settings = &settings;
    in.overlay = {0, 0, kWidth, kHeight};
    in.clock = 10.0;
  }
};

void BM_GlCrowd(benchmark::State& state) {
  Gl& g = gl();
  if (!g.ok) {
    state.SkipWithError("no OpenGL 3.3 context");
    return;
  }
  World world(static_cast<int>(state.range(0)), 9.0, 0, 0, false);
  FrameState fs;
  PreparedFrame frame;
  prepare_frame(fs, world.in, frame);
  const PixelRect all{0, 0, kWidth, kHeight};
  measure(state, [&] {
    g.pass.clear({&all, 1});
    g.pass.draw_instances(frame.plan.constants, frame.instances, {&all, 1});
    glFinish();
  });
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OverlayFrame(benchmark::State& state) {
  Gl& g = gl();
  if (!g.ok) {
    state.SkipWithError("no OpenGL 3.3 context");
    return;
  }
  World world(200, 3.0, 400, 900, true);
  FrameLayers layers;
  layers.resize(kWidth, kHeight);
  update_bubbles(world.entries, world.crew, layers.canvas(), 1.0, 9.0);
  FrameState fs;
  PreparedFrame frame;
  prepare_frame(fs, world.in, frame);
  GlTarget target(g.pass);
  const PixelRect all{0, 0, kWidth, kHeight};
  measure(state, [&] {
    layers.draw(target, world.in, frame.instances, true, frame.plan.constants, frame.plan.buffer,
                {&all, 1});
    glFinish();
  });
  state.counters["composited_px"] = static_cast<double>(layers.composited_pixels());
}

void BM_OneBubbleChanged(benchmark::State& state) {
  Gl& g = gl();
  if (!g.ok) {
    state.SkipWithError("no OpenGL 3.3 context");
    return;
  }
  World world(200, 3.0, 0, 0, true);
  FrameLayers layers;
  layers.resize(kWidth, kHeight);
  update_bubbles(world.entries, world.crew, layers.canvas(), 1.0, 9.0);
  // One buddy starts a new line: its bubble pops up again.
  world.crew.buddies[17].speech.bubble_text = "something new";
  world.crew.buddies[17].speech.bubble_serial = 2;
  update_bubbles(world.entries, world.crew, layers.canvas(), 1.0, 9.9);
  FrameState fs;
  PreparedFrame frame;
  prepare_frame(fs, world.in, frame);
  GlTarget target(g.pass);
  const PixelRect all{0, 0, kWidth, kHeight};
  layers.draw(target, world.in, frame.instances, true, frame.plan.constants, frame.plan.buffer,
              {&all, 1});
  const std::vector<BubbleShape> shapes = visible_bubbles(world.in);
  std::vector<PixelRect> rects;
  for (const BubbleShape& b : shapes) {
    if (b.buddy_id != 17) continue;
    TileGrid grid = new_grid(kWidth, kHeight);
    mark(grid, b.box.left - 24, b.box.top - 24, b.box.right + 24, b.tail[1].y + 24);
    rects = rectangles(grid);
  }
  measure(state, [&] {
    layers.draw(target, world.in, frame.instances, true, frame.plan.constants, frame.plan.buffer,
                rects);
    glFinish();
  });
  state.counters["composited_px"] = static_cast<double>(layers.composited_pixels());
  state.counters["dirty_rects"] = static_cast<double>(rects.size());
}

void BM_CrowdOverDrawings(benchmark::State& state) {
  Gl& g = gl();
  if (!g.ok) {
    state.SkipWithError("no OpenGL 3.3 context");
    return;
  }
  World world(static_cast<int>(state.range(0)), 3.0, 400, 0, false);
  const bool narrow = state.range(1) != 0;
  FrameLayers layers;
  layers.resize(kWidth, kHeight);
  FrameState fs;
  DamageState damage;
  PreparedFrame frame;
  GlTarget target(g.pass);
  // The first frames draw everything and place the buffer; then only what moves: every buddy
  // takes a step each frame.
  for (int i = 0; i < 3; ++i) {
    for (RenderEntry& e : world.entries.entries) e.prev_x = e.x = e.x + 2.0;
    prepare_frame(fs, world.in, frame);
    if (narrow) narrow_clears(damage, world.in, fs, frame);
    layers.draw(target, world.in, frame.instances, true, frame.plan.constants, frame.plan.buffer,
                frame.plan.clears);
    finish_prepared(fs, frame);
  }
  std::int64_t area = 0;
  for (const PixelRect& r : frame.plan.clears)
    area += static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
  measure(state, [&] {
    layers.draw(target, world.in, frame.instances, true, frame.plan.constants, frame.plan.buffer,
                frame.plan.clears);
    glFinish();
  });
  state.counters["redrawn_px"] = static_cast<double>(area);
}

}  // namespace

BENCHMARK(BM_GlCrowd)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OverlayFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneBubbleChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdOverDrawings)
    ->Args({20, 0})
    ->Args({20, 1})
    ->Args({200, 0})
    ->Args({200, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
