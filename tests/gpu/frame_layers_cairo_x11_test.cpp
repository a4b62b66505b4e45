// One frame's layers: what reaches the target, in which order, and only where something is.
#include "gpu/frame_layers_cairo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gpu/canvas_cairo.h"
#include "gpu/overlay_2d.h"
#include "props/effects.h"
#include "scene/scene.h"

namespace perchkin {
namespace {

std::string text(const PixelRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

std::string text(std::span<const PixelRect> rects) {
  std::string out;
  for (const PixelRect& r : rects) out += (out.empty() ? "" : " ") + text(r);
  return out;
}

// Records the calls, and checks that every composited pixel was drawn inside the frame's
// rectangles and that nothing outside the composited rectangles holds a pixel.
class RecordingTarget final : public FrameTarget {
 public:
  std::vector<std::string> calls;
  bool early = false;  // takes the bodies before the first layer, and says when it is done
  bool bodies_first(const Frame&, std::span<const BuddyInstance> list,
                    std::span<const PixelRect> rects) override {
    if (early) calls.push_back("bodies " + std::to_string(list.size()) + " " + text(rects));
    return early;
  }
  void instances_done() override {
    if (early) calls.push_back("done");
  }
  void clear(std::span<const PixelRect> rects) override { calls.push_back("clear " + text(rects)); }
  void composite(const std::uint8_t*, int, std::span<const PixelRect> rects) override {
    calls.push_back("composite " + text(rects));
  }
  void composite_over_clear(const std::uint8_t*, int, std::span<const PixelRect> rects) override {
    calls.push_back("copy " + text(rects));
  }
  void instances(const Frame&, std::span<const BuddyInstance> list,
                 std::span<const PixelRect> rects) override {
    calls.push_back("instances " + std::to_string(list.size()) + " " + text(rects));
  }
};

void put(LayerImage& layer, int x, int y) {
  layer.data()[(static_cast<std::size_t>(y) * static_cast<std::size_t>(layer.width()) +
                static_cast<std::size_t>(x)) * 4 + 3] = 255;
}

TEST(LayerImage, FindsTheTilesThatHoldPixelsAndClearsThemForTheNextFrame) {
  LayerImage layer;
  layer.resize(512, 300);
  const PixelRect all{0, 0, 512, 300};
  EXPECT_TRUE(layer.occupied({&all, 1}).empty());

  // Four tiles in a square merge into one rectangle; a lone tile stays apart; the bottom row of
  // tiles is cut at the image's edge.
  put(layer, 5, 5);
  put(layer, 200, 100);
  put(layer, 10, 200);
  put(layer, 250, 250);
  put(layer, 511, 299);
  EXPECT_EQ(text(layer.occupied({&all, 1})), "0,0,256,256 384,256,512,300");
  // Only the parts inside the rectangles asked for, and only tiles with a pixel there: rows with
  // different runs stay apart.
  const PixelRect left{0, 0, 220, 300};
  EXPECT_EQ(text(layer.occupied({&left, 1})), "0,0,220,128 0,128,128,256");

  // Clearing a whole tile empties it; a tile only partly cleared keeps what lies outside.
  const PixelRect part{0, 0, 64, 64};
  layer.clear({&part, 1});
  EXPECT_EQ(layer.data()[(5 * 512 + 5) * 4 + 3], 0);
  const PixelRect tile0{0, 0, 128, 128};
  EXPECT_TRUE(layer.occupied({&tile0, 1}).empty());
  layer.clear({&all, 1});
  EXPECT_TRUE(layer.occupied({&all, 1}).empty());
  for (std::uint8_t b : std::span<const std::uint8_t>(layer.data(), 512 * 300 * 4)) ASSERT_EQ(b, 0);
}

struct Scene2D {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects fx;
  Settings settings;
  FrameInput in;
  Scene2D() {
    in.crew = &crew;
    in.entries = &entries;
    in.scene = &scene;
    in.effects = &fx;
    in.settings = &settings;
    in.overlay = {0, 0, 768, 512};
    in.clock = 10.0;
  }
};

TEST(FrameLayers, EachLayerReachesTheTargetOnlyInTheTilesItDrewIn) {
  Scene2D s;
  s.fx.particles.push_back(make_particle(ParticleKind::sparkle, rgba(0), 300, 200, 0, 0, 2));
  FrameLayers layers;
  layers.resize(768, 512);
  RecordingTarget target;
  const PixelRect all{0, 0, 768, 512};
  layers.draw(target, s.in, {}, false, Frame{}, {0, 0, 768, 512}, {&all, 1});
  // Pass one's tile replaces the target's pixels; the rest of the frame is cleared; pass two
  // drew nothing.
  ASSERT_EQ(target.calls.size(), 2u);
  EXPECT_EQ(target.calls[0], "clear 0,0,768,128 0,128,256,256 384,128,768,256 0,256,768,512");
  EXPECT_EQ(target.calls[1], "copy 256,128,384,256");
  EXPECT_EQ(layers.composited_pixels(), 128 * 128);

  // The sparkle moves to the next tile; only the dirty tiles around it are drawn, and the old
  // one, cleared by the target, is not composited again.
  s.fx.particles[0].x = 420;
  target.calls.clear();
  const PixelRect dirty{256, 128, 512, 256};
  layers.draw(target, s.in, {}, false, Frame{}, {0, 0, 768, 512}, {&dirty, 1});
  ASSERT_EQ(target.calls.size(), 2u);
  EXPECT_EQ(target.calls[0], "clear 256,128,384,256");
  EXPECT_EQ(target.calls[1], "copy 384,128,512,256");

  // A frame whose rectangles miss the sparkle composites nothing.
  target.calls.clear();
  const PixelRect away{0, 384, 128, 512};
  layers.draw(target, s.in, {}, false, Frame{}, {0, 0, 768, 512}, {&away, 1});
  ASSERT_EQ(target.calls.size(), 1u);
  EXPECT_EQ(target.calls[0], "clear 0,384,128,512");
  EXPECT_EQ(layers.composited_pixels(), 0);
}

TEST(FrameLayers, ABufferAwayFromTheOriginDrawsTheGpuPassBetweenTheLayers) {
  Scene2D s;
  Buddy b;
  b.id = 0;
  b.motion.x = 400;
  b.motion.y = 300;
  b.motion.unit = 3;
  b.speech.bubble_text = "hi";
  b.speech.bubble_until = 20.0;
  b.speech.bubble_serial = 1;
  s.crew.buddies.push_back(b);
  RenderEntry e;
  e.id = 0;
  e.prev_x = e.x = 400;
  e.prev_y = e.y = 300;
  s.entries.entries.push_back(e);
  s.fx.particles.push_back(make_particle(ParticleKind::heart, rgba(0), 300, 300, 0, 0, 2));
  FrameLayers layers;
  update_bubbles(s.entries, s.crew, layers.canvas(), 1.0, 9.0);
  // The buffer covers overlay pixels 256..768 x 256..512.
  layers.resize(512, 256);
  RecordingTarget target;
  const PixelRect all{0, 0, 512, 256};
  BuddyInstance inst;
  inst.pos = {400, 300};
  inst.unit = 3;
  layers.draw(target, s.in, {&inst, 1}, true, Frame{}, {256, 256, 768, 512}, {&all, 1});
  ASSERT_EQ(target.calls.size(), 4u);
  EXPECT_EQ(target.calls[1], "copy 0,0,128,128");  // the heart at (300, 300)
  EXPECT_EQ(target.calls[2], "instances 1 0,0,512,256");
  // The bubble stands above the buddy's head, which is above the buffer's top: what of it falls
  // inside the buffer lies in its top row of tiles, around x = 400 - 256.
  ASSERT_EQ(target.calls[3].rfind("composite ", 0), 0u);
  EXPECT_NE(target.calls[3].find(",0,"), std::string::npos) << target.calls[3];

  // A target that draws the bodies first is given them before pass one reaches it, and has
  // finished with them before pass two is put over them.
  RecordingTarget early;
  early.early = true;
  FrameLayers again;
  update_bubbles(s.entries, s.crew, again.canvas(), 1.0, 9.0);
  again.resize(512, 256);
  again.draw(early, s.in, {&inst, 1}, true, Frame{}, {256, 256, 768, 512}, {&all, 1});
  ASSERT_EQ(early.calls.size(), 6u);
  EXPECT_EQ(early.calls[0], "bodies 1 0,0,512,256");
  EXPECT_EQ(early.calls[1].rfind("clear ", 0), 0u);
  EXPECT_EQ(early.calls[2], "copy 0,0,128,128");
  EXPECT_EQ(early.calls[3], "instances 1 0,0,512,256");
  EXPECT_EQ(early.calls[4], "done");
  EXPECT_EQ(early.calls[5].rfind("composite ", 0), 0u);
}

// Keeps the frame in memory: "over" for both layers, as the presenters do.
class MemoryTarget final : public FrameTarget {
 public:
  int width, height;
  std::vector<std::uint8_t> bgra;
  MemoryTarget(int w, int h) : width(w), height(h), bgra(static_cast<std::size_t>(w * h * 4), 0) {}
  std::uint8_t alpha(int x, int y) const { return bgra[static_cast<std::size_t>((y * width + x) * 4 + 3)]; }
  void clear(std::span<const PixelRect> rects) override {
    for (const PixelRect& r : rects)
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
          for (int k = 0; k < 4; ++k) bgra[static_cast<std::size_t>((y * width + x) * 4 + k)] = 0;
  }
  void composite(const std::uint8_t* src, int stride, std::span<const PixelRect> rects) override {
    for (const PixelRect& r : rects)
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
          const std::uint8_t* p = src + y * stride + x * 4;
          std::uint8_t* d = &bgra[static_cast<std::size_t>((y * width + x) * 4)];
          for (int k = 0; k < 4; ++k) d[k] = static_cast<std::uint8_t>(p[k] + d[k] * (255 - p[3]) / 255);
        }
  }
  void instances(const Frame&, std::span<const BuddyInstance>, std::span<const PixelRect>) override {}
};

TEST(FrameLayers, FinishedDrawingsKeptFromFrameToFrameFollowTheirChanges) {
  Scene2D s;
  const auto line = [](std::uint64_t id, float y) {
    Drawing d;
    d.id = id;
    d.points = {{20, y}, {200, y}};
    d.color = rgba(0xFF0000);
    d.width = 6;
    d.finished = true;
    return d;
  };
  s.scene.drawings[1] = line(1, 50);
  s.scene.order = {1};
  FrameLayers layers;
  layers.resize(768, 512);
  MemoryTarget target(768, 512);
  const PixelRect all{0, 0, 768, 512};
  const auto frame = [&](std::span<const PixelRect> rects) {
    layers.draw(target, s.in, {}, false, Frame{}, {0, 0, 768, 512}, rects);
  };
  frame({&all, 1});
  EXPECT_EQ(target.alpha(100, 50), 255);
  // Drawn again where the frame is dirty, from what was kept: the same pixels.
  const PixelRect part{64, 0, 128, 128};
  frame({&part, 1});
  EXPECT_EQ(target.alpha(100, 50), 255);
  EXPECT_EQ(target.alpha(100, 60), 0);
  // A second drawing, and one still being drawn after it: both show.
  s.scene.drawings[2] = line(2, 100);
  Drawing ink = line(3, 150);
  ink.finished = false;
  s.scene.drawings[3] = ink;
  s.scene.order = {1, 2, 3};
  frame({&all, 1});
  EXPECT_EQ(target.alpha(100, 50), 255);
  EXPECT_EQ(target.alpha(100, 100), 255);
  EXPECT_EQ(target.alpha(100, 150), 255);
  // The first one goes: its pixels go with it.
  s.scene.drawings.erase(1);
  s.scene.order = {2, 3};
  frame({&all, 1});
  EXPECT_EQ(target.alpha(100, 50), 0);
  EXPECT_EQ(target.alpha(100, 100), 255);
  // A buffer placed elsewhere on the overlay draws them where they are on it.
  layers.draw(target, s.in, {}, false, Frame{}, {0, 64, 768, 576}, {&all, 1});
  EXPECT_EQ(target.alpha(100, 100 - 64), 255);
  EXPECT_EQ(target.alpha(100, 100), 0);
}

// Both passes drawn whole into plain images and blended as the memory target does: what a frame
// through the layers must show.
std::vector<std::uint8_t> whole_redraw(const FrameInput& in, std::span<const BuddyInstance> list,
                                       int w, int h) {
  std::vector<std::uint8_t> below(static_cast<std::size_t>(w * h * 4), 0), above(below.size(), 0);
  CairoCanvas canvas;
  canvas.target(below.data(), w, h, w * 4);
  draw_pass_one(canvas, in);
  canvas.flush();
  canvas.target(above.data(), w, h, w * 4);
  draw_pass_two(canvas, in, list);
  canvas.flush();
  canvas.release_target();
  for (std::size_t i = 0; i < below.size(); i += 4)
    for (std::size_t k = 0; k < 4; ++k)
      below[i + k] = static_cast<std::uint8_t>(above[i + k] + below[i + k] * (255 - above[i + 3]) / 255);
  return below;
}

// Only the tiles a pass's shapes reach are searched for pixels, and only those copied from the
// kept drawings are taken as drawn unsearched: a shape whose reach were guessed too small would
// lose pixels at a tile edge, or leave them behind when it moves on. Shapes of every kind, spread
// over many tile edges, turned, moved and removed between frames, show exactly what a whole
// redraw shows.
TEST(FrameLayers, EveryShapeArrivesWholeAndLeavesNothingBehind) {
  Scene2D s;
  s.settings.look.hat = 3;
  s.settings.look.glasses = 1;
  std::vector<BuddyInstance> list;
  for (int i = 0; i < 4; ++i) {
    Buddy b;
    b.id = static_cast<std::uint32_t>(i);
    b.motion.x = 120.0 + 170.0 * i;
    b.motion.y = 250.0 + 3.0 * i;
    b.motion.unit = 3;
    b.speech.bubble_text = i % 2 ? "a bubble long enough to wrap onto a second line" : "hi!";
    b.speech.bubble_until = 20.0;
    b.speech.bubble_serial = 1;
    s.crew.buddies.push_back(b);
    RenderEntry e;
    e.id = b.id;
    e.prev_x = e.x = b.motion.x;
    e.prev_y = e.y = b.motion.y;
    s.entries.entries.push_back(e);
    BuddyInstance inst;
    inst.pos = {static_cast<float>(b.motion.x), static_cast<float>(b.motion.y)};
    inst.unit = 3;
    inst.sy = 1;
    list.push_back(inst);
  }
  Drawing d;
  d.id = 1;
  d.points = {{100, 120}, {140, 130}, {130, 140}};
  d.color = rgba(0x00FF00);
  d.width = 9;
  d.finished = true;
  s.scene.drawings[1] = d;
  s.scene.order = {1};
  TextDrawing typed;
  typed.text = "typed words";
  typed.size = 30;
  typed.color = rgba(0x0000FF);
  typed.origin = {250, 110};
  s.scene.texts.push_back(typed);
  const char* texts[] = {"BOOM!", "?", "zz", "\u2605"};
  for (int i = 0; i < 60; ++i) {
    const auto kind = static_cast<ParticleKind>(i % 5);
    // Around the tile edges at multiples of 128.
    Particle p = make_particle(kind, rgba(0xFF8000 + i), 128.0 * (1 + i % 5) + (i % 7) - 3.5,
                               128.0 * (1 + i % 3) + (i % 11) - 5.5, 0, 0, 2);
    p.width = 10;
    p.height = 6;
    p.spin = 3.0f;
    p.phase = 0.3f * static_cast<float>(i);
    p.age = 0.5f;
    p.text = texts[i % 4];
    p.style = static_cast<TextStyle>(1 + i % 3);
    if (kind == ParticleKind::dot) p.outline = rgba(0x202020);
    s.fx.particles.push_back(p);
  }
  Ring ring;
  ring.x = 384;
  ring.y = 256;
  ring.radius = 40;
  ring.color = rgba(0xFFB627);
  ring.width = 4;
  s.fx.rings.push_back(ring);

  FrameLayers layers;
  update_bubbles(s.entries, s.crew, layers.canvas(), 1.0, 9.0);
  layers.resize(768, 512);
  MemoryTarget target(768, 512);
  const PixelRect all{0, 0, 768, 512};
  // Cairo may round a shape cut by the frame's clip one step differently at a few pixels.
  const auto check = [&](const char* when, PixelRect in = {0, 0, 768, 512}, int tolerance = 0) {
    const std::vector<std::uint8_t> want = whole_redraw(s.in, list, 768, 512);
    long off = 0;
    for (int y = in.top; y < in.bottom; ++y)
      for (int x = in.left * 4; x < in.right * 4; ++x) {
        const auto i = static_cast<std::size_t>(y * 768 * 4 + x);
        off += std::abs(int(want[i]) - int(target.bgra[i])) > tolerance;
      }
    EXPECT_EQ(off, 0) << when;
  };
  layers.draw(target, s.in, list, false, Frame{}, {0, 0, 768, 512}, {&all, 1});
  check("first frame");
  for (Particle& p : s.fx.particles) p.x += 61.0f, p.y -= 45.0f, p.age += 0.4f;
  s.fx.rings[0].radius = 90;
  s.crew.buddies[1].speech.bubble_text.clear();
  s.crew.buddies[1].speech.bubble_serial = 2;
  for (BuddyInstance& inst : list) inst.pos.x += 50.0f;
  update_bubbles(s.entries, s.crew, layers.canvas(), 1.0, 10.0);
  s.scene.drawings[1].points.push_back({300, 400});
  s.scene.drawings[1].version = 1;
  layers.draw(target, s.in, list, false, Frame{}, {0, 0, 768, 512}, {&all, 1});
  check("after everything moved");
  // A frame of part of the overlay, then the whole of it again: what was drawn outside the part
  // meanwhile is still taken away.
  for (Particle& p : s.fx.particles) p.x -= 30.0f, p.y += 70.0f;
  const PixelRect part{189, 83, 573, 400};  // its edges cut through shapes drawn before
  layers.draw(target, s.in, list, false, Frame{}, {0, 0, 768, 512}, {&part, 1});
  check("in part of the overlay", part, 1);
  for (Particle& p : s.fx.particles) p.x += 20.0f;
  // A line still being drawn corner to corner reaches every tile, so any pixel left behind in
  // the layers would be composited now.
  Drawing ink = d;
  ink.id = 2;
  ink.finished = false;
  ink.points = {{0, 0}, {768, 512}};
  s.scene.drawings[2] = ink;
  s.scene.order = {1, 2};
  layers.draw(target, s.in, list, false, Frame{}, {0, 0, 768, 512}, {&all, 1});
  check("the whole overlay after a part");
  s.fx.particles.resize(5);
  s.fx.rings.clear();
  s.scene.texts.clear();
  layers.draw(target, s.in, list, false, Frame{}, {0, 0, 768, 512}, {&all, 1});
  check("after most went away");
}

}  // namespace
}  // namespace perchkin
