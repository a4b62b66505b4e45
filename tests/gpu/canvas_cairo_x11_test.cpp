#include "gpu/canvas_cairo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <vector>

namespace perchkin {
namespace {

// A premultiplied BGRA image the canvas draws into.
struct Image {
  int width, height;
  std::vector<std::uint8_t> bytes;
  Image(int w, int h) : width(w), height(h), bytes(static_cast<std::size_t>(w * h * 4), 0) {}
  void attach(CairoCanvas& canvas) { canvas.target(bytes.data(), width, height, width * 4); }
  // (b, g, r, a) of a pixel, as one number 0xBBGGRRAA for readable failures.
  std::uint32_t at(int x, int y) const {
    const std::uint8_t* p = &bytes[static_cast<std::size_t>((y * width + x) * 4)];
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
  }
  std::uint8_t alpha(int x, int y) const { return static_cast<std::uint8_t>(at(x, y) & 0xFF); }
  int inked() const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += alpha(x, y) > 0;
    return n;
  }
};

TEST(CairoCanvas, FillsPremultipliedBgraInsideClipsAndTransforms) {
  CairoCanvas canvas;
  Image img(16, 16);
  img.attach(canvas);
  ASSERT_TRUE(canvas.has_target());
  canvas.fill_rect({0, 0, 4, 4}, canvas_rgb(0xFF0000, 0.5f));
  EXPECT_EQ(img.at(1, 1), 0x00008080u);  // red at half opacity, premultiplied
  // A translation moves the fill; a clip set before it cuts it, and popping the clip keeps the
  // transform that was set while it was pushed.
  canvas.push_clip({8, 8, 12, 12});
  canvas.set_transform(canvas_translate(6, 6));
  canvas.fill_rect({0, 0, 10, 10}, canvas_rgb(0x0000FF));
  canvas.pop_clip();
  canvas.fill_rect({8, 0, 9, 1}, canvas_rgb(0x00FF00));
  canvas.flush();
  EXPECT_EQ(img.at(9, 9), 0xFF0000FFu);
  EXPECT_EQ(img.at(13, 13), 0u);  // outside the clip
  EXPECT_EQ(img.at(6, 6), 0u);
  EXPECT_EQ(img.at(14, 6), 0xFF00FFu);  // the green square at (8, 0) moved by (6, 6)
}

TEST(CairoCanvas, SeveralClipRectanglesLetDrawingThroughInAnyOfThemOnly) {
  CairoCanvas canvas;
  Image img(32, 16);
  img.attach(canvas);
  canvas.set_transform(canvas_translate(-100, 0));  // clips are in the transform's space
  const CanvasRect rects[] = {{100, 0, 108, 8}, {104, 4, 112, 12}, {124, 0, 132, 16}};
  canvas.push_clip_rects(rects);
  canvas.fill_rect({100, 0, 132, 16}, canvas_rgb(0xFFFFFF));
  canvas.pop_clip();
  canvas.flush();
  EXPECT_EQ(img.alpha(1, 1), 255);
  EXPECT_EQ(img.alpha(6, 6), 255);  // where two overlap
  EXPECT_EQ(img.alpha(10, 10), 255);
  EXPECT_EQ(img.alpha(28, 15), 255);
  EXPECT_EQ(img.alpha(1, 10), 0);
  EXPECT_EQ(img.alpha(18, 2), 0);
  EXPECT_EQ(img.inked(), 64 + 64 - 16 + 128);
  // An empty list hides everything until popped.
  canvas.push_clip_rects({});
  canvas.fill_rect({100, 0, 132, 16}, canvas_rgb(0xFF0000));
  canvas.pop_clip();
  canvas.flush();
  EXPECT_EQ(img.at(18, 2), 0u);
}

TEST(CairoCanvas, StrokesHaveRoundCapsAndEllipsesTheirRadii) {
  CairoCanvas canvas;
  Image img(40, 40);
  img.attach(canvas);
  canvas.line({10, 20}, {30, 20}, canvas_rgb(0xFFFFFF), 8.0f);
  canvas.flush();
  EXPECT_EQ(img.alpha(7, 20), 255);   // the round cap reaches 4 px past the end
  EXPECT_EQ(img.alpha(5, 20), 0);
  EXPECT_LT(img.alpha(7, 17), 255);   // but is round, not square
  Image ell(40, 40);
  ell.attach(canvas);
  canvas.fill_ellipse({20, 20}, 15, 5, canvas_rgb(0xFFFFFF));
  canvas.flush();
  EXPECT_EQ(ell.alpha(33, 20), 255);
  EXPECT_EQ(ell.alpha(20, 27), 0);
  EXPECT_EQ(ell.alpha(36, 20), 0);
}

TEST(CairoCanvas, MeasuresTextWithoutTargetAndWrapsAtTheMaximumWidth) {
  CairoCanvas canvas;
  EXPECT_FALSE(canvas.has_target());
  TextFormat bubble;  // Segoe UI 13.5, found as Noto Sans or DejaVu Sans
  const auto one = canvas.layout_text("hello", bubble, 240.0f, 1000.0f);
  ASSERT_NE(one, nullptr);
  EXPECT_GT(one->size().width, 20.0f);
  EXPECT_LT(one->size().width, 60.0f);
  EXPECT_GT(one->size().height, 13.0f);
  EXPECT_LT(one->size().height, 25.0f);
  const auto many = canvas.layout_text(
      "a much longer line that cannot fit in the bubble's width and has to wrap", bubble, 120.0f,
      1000.0f);
  ASSERT_NE(many, nullptr);
  EXPECT_LE(many->size().width, 120.0f);
  EXPECT_GE(many->size().height, 3.0f * one->size().height - 1.0f);
  // Invalid UTF-8 and absurd sizes do not take the process down.
  EXPECT_NE(canvas.layout_text("\xff\xfe bad \xc3", bubble, 100.0f, 100.0f), nullptr);
  bubble.size = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(canvas.layout_text("x", bubble, 100.0f, 100.0f), nullptr);
}

TEST(CairoCanvas, CentredTextSitsInTheMiddleOfItsBox) {
  CairoCanvas canvas;
  Image img(200, 100);
  img.attach(canvas);
  TextFormat label{"Segoe UI", 16.0f, 700, false, TextAlign::centre, TextAlign::centre};
  const auto text = canvas.layout_text("Zz", label, 200.0f, 100.0f);
  ASSERT_NE(text, nullptr);
  canvas.draw_text(*text, {0, 0}, canvas_rgb(0x5B6BD6));
  canvas.flush();
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x)
      if (img.alpha(x, y) > 128) sx += x, sy += y, n += 1;
  ASSERT_GT(n, 20);
  EXPECT_NEAR(sx / n, 100.0, 6.0);
  EXPECT_NEAR(sy / n, 50.0, 6.0);
}

TEST(CairoCanvas, TextMovedByWholePixelsLooksTheSameAsDrawnAfresh) {
  TextFormat label{"Segoe UI", 16.0f, 700, false, TextAlign::centre, TextAlign::centre};
  // Drawn afresh: a fractional translation takes the glyphs' own path every time.
  CairoCanvas fresh;
  Image want(120, 60);
  want.attach(fresh);
  fresh.set_transform(canvas_translate(0.5f, 0.0f));
  const auto a = fresh.layout_text("Zz!", label, 40.0f, 40.0f);
  ASSERT_NE(a, nullptr);
  fresh.draw_text(*a, {69.5f, 10.0f}, canvas_rgb(0x5B6BD6));
  fresh.flush();
  // Laid out again (from the cache) and drawn at whole pixels twice: the second one is the
  // first one's coverage moved.
  CairoCanvas canvas;
  Image got(120, 60);
  got.attach(canvas);
  const auto b = canvas.layout_text("Zz!", label, 40.0f, 40.0f);
  const auto c = canvas.layout_text("Zz!", label, 40.0f, 40.0f);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(c, nullptr);
  canvas.draw_text(*b, {10.0f, 10.0f}, canvas_rgb(0x5B6BD6));
  canvas.draw_text(*c, {70.0f, 10.0f}, canvas_rgb(0x5B6BD6));
  canvas.flush();
  ASSERT_GT(want.inked(), 40);
  int worst = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) {
      if (x >= 60) {
        worst = std::max(worst, std::abs(int{want.alpha(x, y)} - int{got.alpha(x, y)}));
      } else {
        EXPECT_EQ(got.alpha(x, y), got.alpha(x + 60, y)) << x << "," << y;
      }
    }
  EXPECT_LE(worst, 2);
}

TEST(CairoCanvas, OpaqueRectanglesInARowKeepTheirOrderTranslucentOnesAddUp) {
  CairoCanvas canvas;
  Image img(32, 8);
  img.attach(canvas);
  canvas.fill_rect({0, 0, 8, 8}, canvas_rgb(0xFF0000));
  canvas.fill_rect({8, 0, 16, 8}, canvas_rgb(0xFF0000));
  canvas.fill_rect({4, 0, 12, 8}, canvas_rgb(0x0000FF));
  canvas.fill_rect({16, 0, 24, 8}, canvas_rgb(0x00FF00, 0.5f));
  canvas.fill_rect({20, 0, 28, 8}, canvas_rgb(0x00FF00, 0.5f));
  canvas.flush();
  EXPECT_EQ(img.at(2, 4), 0x0000FFFFu);
  EXPECT_EQ(img.at(6, 4), 0xFF0000FFu);
  EXPECT_EQ(img.at(14, 4), 0x0000FFFFu);
  EXPECT_EQ(img.alpha(18, 4), 0x80);
  EXPECT_NEAR(img.alpha(22, 4), 0xC0, 1);  // both halves: three quarters
  // Rectangles still gathered when the target goes are drawn before it does.
  canvas.fill_rect({28, 0, 32, 8}, canvas_rgb(0xFFFFFF));
  canvas.release_target();
  EXPECT_EQ(img.at(30, 4), 0xFFFFFFFFu);
}

TEST(CairoCanvas, BitmapsNearestStaySharpLinearBlends) {
  // 2 x 2: white, black / black, white; opaque.
  CanvasBitmap checker{1, 2, 2, {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255}};
  CairoCanvas canvas;
  Image sharp(16, 16);
  sharp.attach(canvas);
  canvas.draw_bitmap(checker, {0, 0, 16, 16}, 1.0f, false);
  canvas.flush();
  EXPECT_EQ(sharp.at(7, 7), 0xFFFFFFFFu);
  EXPECT_EQ(sharp.at(8, 7), 0x000000FFu);
  Image soft(16, 16);
  soft.attach(canvas);
  canvas.draw_bitmap(checker, {0, 0, 16, 16}, 0.5f, true);
  canvas.flush();
  const std::uint32_t mid = soft.at(7, 7) >> 24;  // blue channel between black and white
  EXPECT_GT(mid, 20u);
  EXPECT_LT(mid, 128u);
  EXPECT_EQ(soft.alpha(0, 0), 128);  // opacity 0.5
  // A bitmap whose pixels do not match its size is not read.
  CanvasBitmap bad{2, 4, 4, std::vector<std::uint8_t>(8, 255)};
  canvas.draw_bitmap(bad, {0, 0, 16, 16}, 1.0f, false);
}

TEST(CairoCanvas, BadInputDrawsNothingAndLaterDrawingStillWorks) {
  CairoCanvas canvas;
  Image img(16, 16);
  std::vector<std::uint8_t> odd(100);
  canvas.target(odd.data(), 5, 5, 18);  // stride not a multiple of 4
  EXPECT_FALSE(canvas.has_target());
  img.attach(canvas);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  canvas.set_transform({0, 0, 0, 0, 0, 0});  // singular
  canvas.fill_rect({0, 0, 16, 16}, canvas_rgb(0xFFFFFF));
  canvas.set_transform({});
  canvas.fill_rect({nan, 0, 16, 16}, canvas_rgb(0xFFFFFF));
  canvas.fill_ellipse({8, 8}, 0, 4, canvas_rgb(0xFFFFFF));
  canvas.line({0, 0}, {16, 16}, canvas_rgb(0xFFFFFF), -3.0f);
  CanvasPath short_path;
  short_path.ops = {CanvasPath::Op::move, CanvasPath::Op::cubic};
  short_path.points = {{0, 0}, {1, 1}};
  canvas.fill_path(short_path, canvas_rgb(0xFFFFFF));
  canvas.pop_clip();  // nothing pushed
  canvas.flush();
  EXPECT_EQ(img.inked(), 0);
  canvas.fill_rect({0, 0, 2, 2}, canvas_rgb(0xFFFFFF));
  canvas.flush();
  EXPECT_EQ(img.inked(), 4);
}

TEST(CairoCanvas, FontNamesMapToInstalledFamiliesWithFallbacks) {
  EXPECT_EQ(font_families("Segoe UI"), "Segoe UI,Noto Sans,DejaVu Sans,sans-serif");
  EXPECT_NE(font_families("Segoe Print").find("Comic Neue"), std::string::npos);
  EXPECT_NE(font_families("Impact").find("Narrow"), std::string::npos);
  EXPECT_EQ(font_families("Odd,Name"), "OddName,Noto Sans,DejaVu Sans,sans-serif");
}

}  // namespace
}  // namespace perchkin
