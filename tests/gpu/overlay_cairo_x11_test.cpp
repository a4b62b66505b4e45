// Whole 2D passes drawn by Cairo into memory, checked pixel by pixel where the geometry is known.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gpu/canvas_cairo.h"
#include "gpu/overlay_2d.h"
#include "props/effects.h"
#include "scene/scene.h"

namespace perchkin {
namespace {

struct Shot {
  int width = 640, height = 360;
  std::vector<std::uint8_t> bgra = std::vector<std::uint8_t>(640 * 360 * 4, 0);
  // 0xRRGGBBAA, premultiplied.
  std::uint32_t at(float fx, float fy) const {
    const int x = static_cast<int>(fx), y = static_cast<int>(fy);
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const std::uint8_t* p = &bgra[static_cast<std::size_t>((y * width + x) * 4)];
    return (std::uint32_t{p[2]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[0]} << 8) | p[3];
  }
};

TEST(OverlayCairo, ASceneDrawsItsColoursWhereItsGeometrySaysBehindAndInFront) {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects fx;
  Settings settings;
  settings.look.hat = 1;  // Party
  Buddy b;
  b.id = 0;
  b.x = 200;
  b.y = 300;
  b.unit = 4;
  b.mode = BuddyMode::idle;
  b.clock = 1.0;
  b.bubble_text = "hi there";
  b.bubble_until = 20.0;
  b.bubble_serial = 1;
  crew.buddies.push_back(b);
  RenderEntry e;
  e.id = 0;
  e.prev_x = e.x = 200;
  e.prev_y = e.y = 300;
  entries.entries.push_back(e);
  Prop cloud;
  cloud.kind = PropKind::cloud;
  cloud.x = 500;
  cloud.y = 120;
  cloud.size = 100;
  cloud.placed_at = 10.0;
  fx.props.push_back(cloud);
  Drawing line;
  line.id = 1;
  line.points = {{20, 340}, {300, 340}};
  line.color = rgba(0xFF0000);
  line.width = 6;
  line.finished = true;
  scene.drawings[1] = line;
  scene.order = {1};

  FrameInput in;
  in.crew = &crew;
  in.entries = &entries;
  in.scene = &scene;
  in.effects = &fx;
  in.settings = &settings;
  in.overlay = {0, 0, 640, 360};
  in.clock = 10.0;

  CairoCanvas canvas;
  update_bubbles(entries, crew, canvas, 1.0, 9.0);  // popped up a second ago
  const std::vector<BubbleShape> bubbles = visible_bubbles(in);
  ASSERT_EQ(bubbles.size(), 1u);
  const CanvasRect box = bubbles[0].box;
  EXPECT_GT(box.right - box.left, 40.0f);  // the text was measured by Pango, not estimated

  Shot shot;
  canvas.target(shot.bgra.data(), shot.width, shot.height, shot.width * 4);
  draw_pass_one(canvas, in);
  draw_pass_two(canvas, in);
  canvas.flush();

  // The cloud: filled pale in the middle, its outline left on the outer edge only.
  EXPECT_EQ(shot.at(500, 128), 0xEEF1F6FFu);
  EXPECT_EQ(shot.at(500 - 0.34f * 100 + 4, 124), 0xEEF1F6FFu);  // inner outlines covered
  const std::uint32_t edge = shot.at(500 - 0.34f * 100 - 0.26f * 100, 124);
  EXPECT_NE(edge, 0u);
  EXPECT_NE(edge, 0xEEF1F6FFu);
  // The red line, round-capped 3 px beyond its first point.
  EXPECT_EQ(shot.at(100, 340), 0xFF0000FFu);
  EXPECT_EQ(shot.at(18, 340), 0xFF0000FFu);
  // The hat's top cell (column 7.5 of the sprite, row -2): #FFD23F.
  EXPECT_EQ(shot.at(200 - 32 + 7.5f * 4 + 2, 300 - 40 - 8 + 2), 0xFFD23FFFu);
  // The bubble: white inside (left of its text), a soft shadow below and to the right, dark
  // text inside, and the tail's white tip region above the head.
  EXPECT_EQ(shot.at(box.left + 3, (box.top + box.bottom) / 2), 0xFFFFFFFFu);
  const std::uint32_t shadow = shot.at(box.left + 20, box.bottom + 2);
  EXPECT_NEAR(static_cast<int>(shadow & 0xFF), 77, 4);
  EXPECT_EQ(shadow >> 8, 0u);
  int ink = 0;
  for (float y = box.top + 9; y < box.bottom - 9; ++y)
    for (float x = box.left + 9; x < box.right - 9; ++x) ink += (shot.at(x, y) >> 24) < 0x80;
  EXPECT_GT(ink, 15);
  EXPECT_EQ(shot.at(bubbles[0].tail[1].x, bubbles[0].tail[1].y - 4), 0xFFFFFFFFu);
  // Nothing strays to an empty corner.
  EXPECT_EQ(shot.at(630, 350), 0u);
}

}  // namespace
}  // namespace perchkin
