#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gpu/overlay_2d.h"
#include "gpu/overlay_detail.h"
#include "props/effects.h"
#include "scene/scene.h"

namespace perchkin {
namespace {

using Calls = std::vector<std::string>;

bool starts(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// Index of the first call starting with prefix, or -1.
int find_call(const Calls& calls, const std::string& prefix, std::size_t from = 0) {
  for (std::size_t i = from; i < calls.size(); ++i)
    if (starts(calls[i], prefix)) return static_cast<int>(i);
  return -1;
}

int count_calls(const Calls& calls, const std::string& prefix) {
  return static_cast<int>(
      std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return starts(c, prefix); }));
}

bool has_call(const Calls& calls, const std::string& exact) {
  return std::find(calls.begin(), calls.end(), exact) != calls.end();
}

// A world of a few buddies on a 1920 x 1080 overlay at the desktop's origin.
struct World {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects effects;
  Settings settings;
  FrameInput in;

  World() {
    in.crew = &crew;
    in.entries = &entries;
    in.scene = &scene;
    in.effects = &effects;
    in.settings = &settings;
    in.overlay = {0, 0, 1920, 1080};
    in.clock = 100.0;
  }

  Buddy& add(double x, double y, double unit = 9.0) {
    Buddy b;
    b.id = static_cast<std::uint32_t>(crew.buddies.size());
    b.color = "blue";
    b.motion.x = x;
    b.motion.y = y;
    b.motion.unit = unit;
    b.motion.mode = BuddyMode::idle;
    b.mind.clock = 1.0;
    Support floor;
    floor.kind = SurfaceKind::floor;
    b.motion.support = floor;
    crew.buddies.push_back(b);
    RenderEntry e;
    e.id = b.id;
    e.prev_x = e.x = x;
    e.prev_y = e.y = y;
    entries.entries.push_back(e);
    return crew.buddies.back();
  }

  // The buddy says `text`, starting `age` seconds before now, measured by `canvas`.
  void say(std::size_t i, const std::string& text, double age, Canvas& canvas) {
    Buddy& b = crew.buddies[i];
    b.speech.bubble_text = text;
    b.speech.bubble_until = in.clock + 5.0;
    b.speech.bubble_serial += 1;
    update_bubbles(entries, crew, canvas, in.ui_scale, in.clock - age);
  }
};

TEST(OverlayPassOne, DrawsItsLayersInOrderWithTheirGeometry) {
  World w;
  Drawing line;
  line.id = 7;
  line.points = {{10, 20}, {30, 40}, {50, 20}};
  line.color = rgba(0xFF0000);
  line.width = 4;
  w.scene.drawings[7] = line;
  w.scene.order = {7};
  TextDrawing text;
  text.text = "Hello world";
  text.size = 28;
  text.duration = 1.0;
  text.start = w.in.clock - 0.25;  // 2.75 of 11 characters, rounded
  text.origin = {300, 400};
  text.color = rgba(0x0000FF);
  w.scene.texts.push_back(text);
  Prop cloud;
  cloud.kind = PropKind::cloud;
  cloud.x = 500;
  cloud.y = 300;
  cloud.size = 100;
  cloud.placed_at = w.in.clock;  // no bob yet
  w.effects.props.push_back(cloud);
  Particle confetti = make_particle(ParticleKind::rect, rgba(0x4DD599), 60, 70, 0, 0, 2.0);
  confetti.width = 10;
  confetti.height = 6;
  confetti.age = 0.5;
  confetti.shrink = true;  // scale 0.75
  w.effects.particles.push_back(confetti);
  Ring ring;
  ring.x = 80;
  ring.y = 90;
  ring.radius = 20;
  ring.color = rgba(0xFFB627);
  ring.width = 5;
  w.effects.rings.push_back(ring);
  w.add(900, 800);
  Burst burst;
  burst.unit = 9;
  burst.pixels.push_back({120, 130, 0, 0, rgba(0x5B8DEF), 0, 0});
  w.entries.entries[0].burst = burst;

  RecordingCanvas canvas;
  draw_pass_one(canvas, w.in);
  const Calls& c = canvas.calls;
  const int drawing = find_call(c, "polyline 10,20 30,40 50,20 #FF0000 w4");
  const int typed = find_call(c, "layout \"Hel\" Segoe Print 28 700 max 2000x2000");
  const int typed_draw = find_call(c, "text \"Hel\" 300,400 #0000FF");
  const int cloud_edge = find_call(c, "stroke_ellipse 500,308 36x25.2 #9AA7B8 w2");
  const int cloud_fill = find_call(c, "fill_ellipse 500,308 36x25.2 #EEF1F6");
  const int particle = find_call(c, "fill_rect 56.25,67.75,63.75,72.25 #4DD599");
  const int ring_call = find_call(c, "stroke_ellipse 80,90 20x12 #FFB627 w5");
  const int pixel = find_call(c, "fill_rect 120,130,129,139 #5B8DEF");
  for (int i : {drawing, typed, typed_draw, cloud_edge, cloud_fill, particle, ring_call, pixel})
    ASSERT_GE(i, 0) << ::testing::PrintToString(c);
  EXPECT_LT(drawing, typed);
  EXPECT_LT(typed_draw, cloud_edge);
  // All five outlines come before the first fill, so only the outer edge stays.
  EXPECT_EQ(find_call(c, "fill_ellipse"), cloud_fill);
  EXPECT_EQ(count_calls(c, "stroke_ellipse 5") + count_calls(c, "stroke_ellipse 4") +
                count_calls(c, "stroke_ellipse 6"),
            5);
  EXPECT_LT(cloud_fill, particle);
  EXPECT_LT(particle, ring_call);
  EXPECT_LT(ring_call, pixel);
}

TEST(OverlayPassOne, TypedTextShowsAtLeastOneCharacterAndSkipsShortDrawings) {
  World w;
  TextDrawing text;
  text.text = "héllo";
  text.size = 20;
  text.duration = 2.0;
  text.start = w.in.clock;  // nothing typed yet: one character all the same
  w.scene.texts.push_back(text);
  Drawing dot;
  dot.id = 1;
  dot.points = {{5, 5}};
  w.scene.drawings[1] = dot;
  w.scene.order = {1, 99};  // 99 was removed from the store
  RecordingCanvas canvas;
  draw_pass_one(canvas, w.in);
  EXPECT_EQ(count_calls(canvas.calls, "polyline"), 0);
  EXPECT_GE(find_call(canvas.calls, "text \"h\""), 0);
  w.scene.texts[0].start = w.in.clock - 10.0;
  canvas.calls.clear();
  draw_pass_one(canvas, w.in);
  EXPECT_GE(find_call(canvas.calls, "text \"héllo\""), 0);
}

TEST(OverlayHazards, BoltFlickersAndBombBlinksAndBurnsItsFuse) {
  EXPECT_TRUE(bolt_visible(0.0));
  EXPECT_TRUE(bolt_visible(0.29));
  // After 0.3 s the bolt hides exactly when sin 47a + sin 91a <= -0.8.
  int hidden = 0;
  for (double a = 0.3; a < 1.6; a += 0.001) {
    EXPECT_EQ(bolt_visible(a), std::sin(47 * a) + std::sin(91 * a) > -0.8) << a;
    hidden += !bolt_visible(a);
  }
  EXPECT_GT(hidden, 50);

  Prop bomb;
  bomb.kind = PropKind::bomb;
  bomb.size = 50;
  EXPECT_DOUBLE_EQ(bomb_fuse(bomb, 10.0), 1.0);
  EXPECT_FALSE(bomb_blinks(bomb, 10.0625 + 0.125));
  bomb.lit_at = 10.0;
  EXPECT_DOUBLE_EQ(bomb_fuse(bomb, 11.5), 0.5);
  EXPECT_DOUBLE_EQ(bomb_fuse(bomb, 13.0), 0.05);
  EXPECT_DOUBLE_EQ(bomb_fuse(bomb, 20.0), 0.05);
  EXPECT_FALSE(bomb_blinks(bomb, 11.9));    // not 2 s after lighting yet
  EXPECT_TRUE(bomb_blinks(bomb, 12.4));     // floor(8 t) = 99, odd
  EXPECT_FALSE(bomb_blinks(bomb, 12.5625));  // floor(8 t) = 100, even

  // Drawn: a bomb at (200, 300) lit 2.5 s ago, in an odd eighth, is red with a short fuse.
  World w;
  bomb.x = 200;
  bomb.y = 300;
  bomb.lit_at = 10.0;
  w.in.clock = 12.5 + 0.0625 + 0.125 - 0.0001;  // floor(8 t) = 100 + 1
  w.effects.props.push_back(bomb);
  RecordingCanvas canvas;
  draw_pass_one(canvas, w.in);
  const Calls& c = canvas.calls;
  EXPECT_GE(find_call(c, "fill_ellipse 200,300 20x20 #C0392B"), 0) << ::testing::PrintToString(c);
  EXPECT_GE(find_call(c, "fill_ellipse 192.5,291.5 3.5x3.5 #6A6A6A"), 0);
  const int fuse = find_call(c, "stroke_path M200,280");
  ASSERT_GE(fuse, 0);
  EXPECT_NE(c[static_cast<std::size_t>(fuse)].find("#8B5A2B"), std::string::npos);
  // The spark: the star map centred on the fuse tip, in #FFD23F cells of 2 px.
  EXPECT_GE(find_call(c, "fill_rect"), 0);
  EXPECT_GT(count_calls(c, "fill_rect"), 3);
}

TEST(OverlayHazards, FireBoltAndLedgeShapes) {
  World w;
  Prop fire;
  fire.kind = PropKind::fire;
  fire.x = 100;
  fire.y = 500;
  fire.size = 100;
  fire.placed_at = w.in.clock;  // flicker 1
  Prop bolt;
  bolt.kind = PropKind::bolt;
  bolt.x = 400;
  bolt.y = 100;
  bolt.size = 100;
  bolt.placed_at = w.in.clock - 0.06;  // floor(20 a) = 1: the pale yellow
  Prop ledge;
  ledge.kind = PropKind::platform;
  ledge.x = 10;
  ledge.y = 50;
  ledge.x2 = 110;
  ledge.y2 = 40;
  w.effects.props = {fire, bolt, ledge};
  RecordingCanvas canvas;
  draw_pass_one(canvas, w.in);
  const Calls& c = canvas.calls;
  EXPECT_TRUE(has_call(c, "fill_ellipse 100,496.8 42x12.8 #FF7A1A")) << ::testing::PrintToString(c);
  EXPECT_TRUE(has_call(c, "fill_ellipse 100,496.8 23.1x8 #FFE45C"));
  EXPECT_TRUE(has_call(c, "fill_path M405,100 L370,175 L402,172 L378,260 L438,160 L406,162 L430,100 Z #FFF6A8"));
  EXPECT_TRUE(has_call(c, "stroke_path M405,100 L370,175 L402,172 L378,260 L438,160 L406,162 L430,100 Z #FFFFFF w1.5"));
  EXPECT_TRUE(has_call(c, "line 10,50 110,40 #7A5230 w7"));
  EXPECT_TRUE(has_call(c, "line 10,47.6667 110,37.6667 #B07A47 w2"));
}

TEST(OverlayParticles, ShapesFollowAgeSpinAndStyle) {
  World w;
  Particle dot = make_particle(ParticleKind::dot, rgba(0xFFFFFF), 10, 10, 0, 0, 1.0);
  dot.width = dot.height = 6;
  dot.grow = 0.8f;
  dot.age = 0.5f;  // scale 1.4
  dot.outline = rgba(0xB9D7F2);
  Particle flake = make_particle(ParticleKind::rect, rgba(0xFF4D6D), 50, 50, 0, 0, 1.0);
  flake.width = 10;
  flake.height = 10;
  flake.spin = 2.0f;
  flake.age = 0.0f;
  flake.phase = 1.5707964f;  // cos = 0: the narrowest tumble, 0.2 of the width
  Particle heart = make_particle(ParticleKind::heart, rgba(0x000000), 100, 100, 0, 0, 1.0);
  Particle zed = make_particle(ParticleKind::text, rgba(0x5B6BD6), 300, 200, 0, 0, 2.0);
  zed.text = "Z";
  zed.style = TextStyle::label;
  Particle boom = make_particle(ParticleKind::text, rgba(0xFF4D1A), 400, 200, 0, 0, 2.0);
  boom.text = "BOOM!";
  boom.style = TextStyle::shout;
  w.effects.particles = {dot, flake, heart, zed, boom};
  RecordingCanvas canvas;
  draw_pass_one(canvas, w.in);
  const Calls& c = canvas.calls;
  EXPECT_TRUE(has_call(c, "fill_ellipse 10,10 4.2x4.2 #FFFFFF")) << ::testing::PrintToString(c);
  EXPECT_TRUE(has_call(c, "stroke_ellipse 10,10 4.2x4.2 #B9D7F2 w1"));
  EXPECT_TRUE(has_call(c, "fill_rect 49,45,51,55 #FF4D6D"));
  // The heart map is 7 x 6 cells of 2 px centred on (100, 100), in its own colour; its first
  // row ".hh.hh." gives two runs.
  EXPECT_TRUE(has_call(c, "fill_rect 95,94,99,96 #FF4D6D"));
  EXPECT_TRUE(has_call(c, "fill_rect 101,94,105,96 #FF4D6D"));
  EXPECT_TRUE(has_call(c, "layout \"Z\" Segoe UI 16 700 max 260x260"));
  EXPECT_TRUE(has_call(c, "text \"Z\" 170,70 #5B6BD6"));
  EXPECT_TRUE(has_call(c, "layout \"BOOM!\" Impact 48 400 max 260x260"));
}

TEST(OverlayBubbles, BoxAndTailAboveTheHeadKeptOnScreenAndBelowOnTheCeiling) {
  World w;
  RecordingCanvas canvas;
  w.add(500, 800);
  w.add(10, 800);
  Buddy& top = w.add(1000, 40);
  top.motion.support->kind = SurfaceKind::ceiling;
  // The recording canvas measures "hello" as 37.125 x 16.2; the box rounds up to whole pixels.
  // Buddy 0 spoke first, so it is drawn first.
  for (std::size_t i = 0; i < 3; ++i) w.say(i, "hello", 3.0 - static_cast<double>(i), canvas);
  ASSERT_TRUE(w.entries.entries[0].bubble);
  EXPECT_EQ(w.entries.entries[0].bubble->text_width, 38.0);
  EXPECT_EQ(w.entries.entries[0].bubble->text_height, 17.0);
  const std::vector<BubbleShape> shapes = visible_bubbles(w.in);
  ASSERT_EQ(shapes.size(), 3u);
  // Above the head: tip 12 cells above the feet, box bottom 8 px above the tip.
  const BubbleShape& a = shapes[0];
  EXPECT_EQ(a.box, (CanvasRect{472, 649, 528, 684}));
  EXPECT_EQ(a.tail[1], (CanvasPoint{500, 692}));
  EXPECT_EQ(a.tail[0], (CanvasPoint{494, 683}));
  EXPECT_EQ(a.tail[2], (CanvasPoint{506, 683}));
  EXPECT_EQ(a.pop, 1.0f);
  EXPECT_EQ(a.shown, 5u);
  // At the left edge the box keeps 4 px and the tail still points at the speaker, its base
  // 17 px from the box's corner.
  const BubbleShape& b = shapes[1];
  EXPECT_EQ(b.box.left, 4.0f);
  EXPECT_EQ(b.tail[1].x, 10.0f);
  EXPECT_EQ(b.tail[0].x, 4.0f + 17.0f - 6.0f);
  // On the ceiling the bubble hangs below: tip 2 cells below the feet, box 8 px under it.
  const BubbleShape& c = shapes[2];
  EXPECT_EQ(c.tail[1], (CanvasPoint{1000, 58}));
  EXPECT_EQ(c.box.top, 66.0f);
  EXPECT_EQ(c.tail[0].y, 67.0f);

  // The right edge: 4 px to spare.
  w.crew.buddies[0].motion.x = w.entries.entries[0].x = w.entries.entries[0].prev_x = 1915;
  EXPECT_EQ(visible_bubbles(w.in)[0].box.right, 1916.0f);

  // On a window whose top is 130 px down, a two-line bubble would leave the top: it hangs
  // below the speaker instead, tail up, wholly on the overlay even in the corner.
  w.add(1915, 130);
  w.say(3, "a line long enough to wrap onto a second one", 0.5, canvas);
  const BubbleShape d = visible_bubbles(w.in).back();
  ASSERT_EQ(d.buddy_id, 3u);
  EXPECT_GT(d.box.bottom - d.box.top, 45.0f);
  EXPECT_EQ(d.tail[1], (CanvasPoint{1915, 148}));
  EXPECT_EQ(d.box.top, 156.0f);
  EXPECT_LT(d.tail[1].y, d.tail[0].y);
  EXPECT_GE(d.box.left, 4.0f);
  EXPECT_EQ(d.box.right, 1916.0f);
}

TEST(OverlayBubbles, PopInThenTextTypedAt45CharactersASecond) {
  World w;
  RecordingCanvas canvas;
  w.add(500, 800);
  const std::string text = "typing along nicely";
  w.say(0, text, 0.0, canvas);
  auto shape_at = [&](double age) {
    w.entries.entries[0].bubble->start = w.in.clock - age;
    return visible_bubbles(w.in).at(0);
  };
  EXPECT_FLOAT_EQ(shape_at(0.0).pop, 0.05f);
  EXPECT_GT(shape_at(0.17).pop, 1.0f);  // the overshoot
  EXPECT_EQ(shape_at(0.22).pop, 1.0f);
  EXPECT_EQ(shape_at(0.15).shown, 0u);    // before 0.154 s nothing is typed
  EXPECT_EQ(shape_at(0.155).shown, 1u);
  EXPECT_EQ(shape_at(0.154 + 1.0 / 45.0 * 4.5).shown, 5u);
  EXPECT_EQ(shape_at(5.0).shown, text.size());

  // Drawn: scaled about the tip; shadow, box, outline, tail, text; transform reset after.
  shape_at(0.2);
  canvas.calls.clear();
  canvas.set_transform(canvas_translate(-100, -50));
  draw_pass_two(canvas, w.in);
  const Calls& c = canvas.calls;
  const int shadow = find_call(c, "fill_rounded_rect");
  ASSERT_GE(shadow, 1);
  EXPECT_TRUE(starts(c[static_cast<std::size_t>(shadow - 1)], "transform 1.0"));
  EXPECT_NE(c[static_cast<std::size_t>(shadow)].find("#000000@0.3"), std::string::npos);
  const int box = find_call(c, "fill_rounded_rect", static_cast<std::size_t>(shadow) + 1);
  ASSERT_GT(box, shadow);
  EXPECT_NE(c[static_cast<std::size_t>(box)].find("r11 #FFFFFF"), std::string::npos);
  EXPECT_GE(find_call(c, "stroke_rounded_rect"), box);
  const int tail = find_call(c, "fill_path", static_cast<std::size_t>(box));
  EXPECT_GT(tail, find_call(c, "stroke_path"));
  const int typed = find_call(c, "text \"typ\"");
  EXPECT_GT(typed, tail);
  EXPECT_EQ(c.back(), "transform 1 0 0 1 -100 -50");
}

TEST(OverlayBubbles, OnlyTheFourteenNewestShowWithTheNewestOnTop) {
  World w;
  RecordingCanvas canvas;
  for (int i = 0; i < 20; ++i) w.add(50.0 + 90.0 * i, 800);
  // Buddy i started talking i/100 s ago: buddy 0 is the newest.
  for (std::size_t i = 0; i < 20; ++i) w.say(i, "hi " + std::to_string(i), 1.0 + static_cast<double>(i) / 100.0, canvas);
  const std::vector<BubbleShape> shapes = visible_bubbles(w.in);
  ASSERT_EQ(shapes.size(), kMaxBubbles);
  EXPECT_EQ(shapes.front().buddy_id, 13u);  // the oldest shown, drawn first
  EXPECT_EQ(shapes.back().buddy_id, 0u);    // the newest, on top
  canvas.calls.clear();
  draw_pass_two(canvas, w.in);
  EXPECT_EQ(count_calls(canvas.calls, "stroke_rounded_rect"), 14);
  EXPECT_EQ(find_call(canvas.calls, "text \"hi 19\""), -1);

  // A bubble past its time is gone, and the measurement drops it.
  w.crew.buddies[0].speech.bubble_until = w.in.clock;
  EXPECT_EQ(visible_bubbles(w.in).back().buddy_id, 1u);
  update_bubbles(w.entries, w.crew, canvas, 1.0, w.in.clock);
  EXPECT_FALSE(w.entries.entries[0].bubble);
}

// Fails every text layout, as a backend without fonts would.
class NoFontCanvas final : public Canvas {
 public:
  void set_transform(const CanvasTransform&) override {}
  CanvasTransform transform() const override { return {}; }
  void push_clip(const CanvasRect&) override {}
  void pop_clip() override {}
  void fill_rect(const CanvasRect&, CanvasColor) override {}
  void stroke_rect(const CanvasRect&, CanvasColor, float) override {}
  void fill_rounded_rect(const CanvasRect&, float, CanvasColor) override {}
  void stroke_rounded_rect(const CanvasRect&, float, CanvasColor, float) override {}
  void fill_ellipse(CanvasPoint, float, float, CanvasColor) override {}
  void stroke_ellipse(CanvasPoint, float, float, CanvasColor, float) override {}
  void line(CanvasPoint, CanvasPoint, CanvasColor, float) override {}
  void polyline(const std::vector<CanvasPoint>&, CanvasColor, float) override {}
  void fill_path(const CanvasPath&, CanvasColor) override {}
  void stroke_path(const CanvasPath&, CanvasColor, float) override {}
  std::unique_ptr<CanvasText> layout_text(std::string_view, const TextFormat&, float,
                                          float) override {
    return nullptr;
  }
  void draw_text(const CanvasText&, CanvasPoint, CanvasColor) override {}
  void draw_bitmap(const CanvasBitmap&, const CanvasRect&, float, bool) override {}
};

TEST(OverlayBubbles, MeasuredOncePerLineWrappedAtTheMaximumAndFallingBackWhenLayoutFails) {
  World w;
  w.in.ui_scale = 2.0;
  w.add(500, 800);
  RecordingCanvas canvas;
  w.say(0, std::string(100, 'x'), 0.0, canvas);
  EXPECT_EQ(canvas.calls.back(), "layout \"" + std::string(100, 'x') + "\" Segoe UI 27 400 max 480x10000");
  EXPECT_EQ(w.entries.entries[0].bubble->text_width, 480.0);
  // The same serial is not measured again.
  canvas.calls.clear();
  update_bubbles(w.entries, w.crew, canvas, 2.0, w.in.clock + 1.0);
  EXPECT_TRUE(canvas.calls.empty());
  NoFontCanvas none;
  w.say(0, "hello", 0.0, none);
  EXPECT_EQ(w.entries.entries[0].bubble->text_width, kFallbackBubbleWidth);
  EXPECT_EQ(w.entries.entries[0].bubble->text_height, kFallbackBubbleHeight);
  EXPECT_EQ(w.entries.entries[0].bubble->text, "hello");
  CanvasTextLayout layout(none);
  EXPECT_FALSE(layout.layout("abc", 28.0));
  CanvasTextLayout recorded(canvas);
  const auto box = recorded.layout("abc", 20.0);
  ASSERT_TRUE(box);
  EXPECT_NEAR(box->width, 0.55 * 20 * 3, 1e-4);
  EXPECT_EQ(canvas.calls.back(), "layout \"abc\" Segoe Print 20 700 max 2000x2000");
}

BuddyInstance instance_at(float x, float y, float unit, int frame) {
  BuddyInstance inst;
  inst.pos = {x, y};
  inst.unit = unit;
  inst.frame = static_cast<float>(frame);
  return inst;
}

TEST(OverlayWear, HatsSitAboveTheHeadTopAndGlassesOnItForEachFrame) {
  World w;
  w.settings.look.hat = 1;      // Party: 7 x 4
  w.settings.look.glasses = 1;  // Shades
  RecordingCanvas canvas;
  const BuddyInstance standing = instance_at(100, 200, 4, 0);
  draw_pass_two(canvas, w.in, std::span(&standing, 1));
  // Sprite box (68, 160); the hat's columns start at 4.5, its bottom row just above row 2.
  EXPECT_TRUE(has_call(canvas.calls, "fill_rect 98,152,102,156 #FFD23F")) << ::testing::PrintToString(canvas.calls);
  EXPECT_TRUE(has_call(canvas.calls, "fill_rect 86,164,114,168 #E8443A"));  // bottom row, on row 2
  EXPECT_TRUE(has_call(canvas.calls, "fill_rect 76,172,124,176 #17171B"));  // shades, row 3
  canvas.calls.clear();
  const BuddyInstance typing = instance_at(100, 200, 4, 6);  // head top at row 4
  draw_pass_two(canvas, w.in, std::span(&typing, 1));
  EXPECT_TRUE(has_call(canvas.calls, "fill_rect 98,160,102,164 #FFD23F"));
  EXPECT_TRUE(has_call(canvas.calls, "fill_rect 76,180,124,184 #17171B"));
  canvas.calls.clear();
  BuddyInstance squat = instance_at(100, 200, 4, 14);  // head top at row 3, squashed
  squat.sy = 0.5f;
  draw_pass_two(canvas, w.in, std::span(&squat, 1));
  EXPECT_TRUE(has_call(canvas.calls, "fill_rect 98,178,102,180 #FFD23F"));

  // On the ceiling the buddy is turned 180 degrees: the wear turns with it about the sprite's
  // centre, and the transform is put back.
  canvas.calls.clear();
  canvas.set_transform(canvas_translate(-10, -20));
  BuddyInstance upside = instance_at(100, 200, 4, 0);
  upside.angle = 3.14159265f;
  draw_pass_two(canvas, w.in, std::span(&upside, 1));
  const Calls& c = canvas.calls;
  ASSERT_GE(c.size(), 3u);
  EXPECT_TRUE(starts(c[1], "transform -1 "));
  EXPECT_TRUE(has_call(c, "fill_rect 98,152,102,156 #FFD23F"));
  EXPECT_EQ(c.back(), "transform 1 0 0 1 -10 -20");
}

TEST(OverlayWear, CustomImagesReplaceTheBuiltInOnesSharpUpTo64Pixels) {
  World w;
  w.settings.look.hat = 2;
  CanvasBitmap hat{1, 64, 32, std::vector<std::uint8_t>(64 * 32 * 4, 255)};
  CanvasBitmap glasses{2, 65, 13, std::vector<std::uint8_t>(65 * 13 * 4, 255)};
  w.in.custom_hat = &hat;
  w.in.custom_glasses = &glasses;
  RecordingCanvas canvas;
  const BuddyInstance inst = instance_at(100, 200, 4, 0);
  draw_pass_two(canvas, w.in, std::span(&inst, 1));
  // Hat: 13 cells wide (52 px), 26 px high, its bottom at row 2.6 (170.4).
  EXPECT_TRUE(has_call(canvas.calls, "bitmap 64x32 74,144.4,126,170.4 o1 nearest"))
      << ::testing::PrintToString(canvas.calls);
  // Glasses: 12 cells (48 px), 9.6 px high, centred on row 4 (176).
  EXPECT_TRUE(has_call(canvas.calls, "bitmap 65x13 76,171.2,124,180.8 o1 smooth"));
  EXPECT_EQ(count_calls(canvas.calls, "fill_rect"), 0);
}

TEST(OverlayPassTwo, DizzyStarsPencilMarksThenMenuAndSelectionLast) {
  World w;
  Buddy& dizzy = w.add(300, 500, 4);
  dizzy.motion.mode = BuddyMode::act;
  dizzy.mind.act = Act::dizzy;
  dizzy.mind.clock = 0.0;
  Buddy& artist = w.add(600, 500, 4);
  artist.motion.mode = BuddyMode::drawing;
  artist.motion.facing = -1;
  artist.pencil.out = true;
  artist.pencil.x = 500;
  artist.pencil.y = 400;
  w.in.menu_targets = {0};
  w.in.selection = ScreenRect{550, 450, 650, 520};
  w.in.draw_menu = [](Canvas& c) { c.fill_rect({0, 0, 1, 1}, canvas_rgb(0x123456)); };
  w.in.draw_selection = [](Canvas& c) { c.fill_rect({0, 0, 2, 2}, canvas_rgb(0x654321)); };
  RecordingCanvas canvas;
  draw_pass_two(canvas, w.in);
  const Calls& c = canvas.calls;
  // First star at angle 0: (x + 7u, y - 10u), a 7 x 5 map of 2 px cells; its top row "...y...".
  EXPECT_TRUE(has_call(c, "fill_rect 327,455,329,457 #FFD23F")) << ::testing::PrintToString(c);
  // The pencil from the left hand (572, 476) to its point: body to 78 %, then the tip.
  EXPECT_TRUE(has_call(c, "line 572,476 515.84,416.72 #FFD23F w4"));
  EXPECT_TRUE(has_call(c, "line 515.84,416.72 500,400 #1C1C1C w3"));
  const int menu_mark = find_call(c, "stroke_ellipse 300,500 32x8.8 #FFD23F");
  const int menu = find_call(c, "fill_rect 0,0,1,1 #123456");
  const int selection_mark = find_call(c, "stroke_ellipse 600,500 32x8.8 #FFD23F");
  const int selection = find_call(c, "fill_rect 0,0,2,2 #654321");
  EXPECT_GE(menu_mark, 0);
  EXPECT_LT(menu_mark, menu);
  EXPECT_LT(menu, selection_mark);
  EXPECT_LT(selection_mark, selection);
  EXPECT_EQ(selection, static_cast<int>(c.size()) - 1);
  EXPECT_EQ(count_calls(c, "stroke_ellipse"), 2);  // the dizzy buddy is not in the selection
}

TEST(OverlayBubbles, DirtyBoxesCoverBoxAndTailGrownBy24) {
  World w;
  RecordingCanvas canvas;
  w.add(500, 800);
  w.say(0, "hello", 1.0, canvas);
  std::vector<BoxF> boxes;
  bubble_dirty_boxes(w.in, boxes);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_DOUBLE_EQ(boxes[0].left, 472 - 24);
  EXPECT_DOUBLE_EQ(boxes[0].top, 649 - 24);
  EXPECT_DOUBLE_EQ(boxes[0].right, 528 + 24);
  EXPECT_DOUBLE_EQ(boxes[0].bottom, 692 + 24);
}

}  // namespace
}  // namespace perchkin
