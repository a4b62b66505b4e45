// The software presenter on a real overlay window: after a frame that redrew only some
// rectangles its image holds what a new presenter's holds after drawing that frame whole.
#include <gtest/gtest.h>

#include "gpu/presenter_shm_x11.h"

#include <cstdlib>
#include <vector>

#include "gpu/frame_world.h"
#include "win/shell_x11.h"

namespace perchkin {
namespace {

BuddyInstance crab(float x, float y) {
  BuddyInstance in;
  in.pos = {x, y};
  in.unit = 4.0f;
  in.sy = 1.0f;
  in.eye = 0.1f;
  in.tint = {0.84f, 0.47f, 0.34f};
  in.shadow = 1.0f;
  return in;
}

// The opaque pixels of the image after one frame of `buddy` inside `rects`.
std::vector<PixelRect> draw(Presenter& p, const FrameInput& in, const BuddyInstance& buddy,
                            std::span<const PixelRect> rects, int age) {
  Frame constants;
  constants.screen = {640.0f, 480.0f};
  FrameDraw f;
  f.in = &in;
  f.buffer = {0, 0, 640, 480};
  f.rects = rects;
  f.age = age;
  f.constants = &constants;
  f.instances = {&buddy, 1};
  f.window = {640, 480};
  EXPECT_TRUE(p.begin(f).ok());
  EXPECT_TRUE(p.layer(f, Layer::below).ok());
  EXPECT_TRUE(p.buddies(f).ok());
  EXPECT_TRUE(p.layer(f, Layer::above).ok());
  EXPECT_TRUE(p.present(f).ok());
  std::vector<PixelRect> shape;
  p.opaque({0, 0, 640, 480}, 0, 0, shape);
  return shape;
}

TEST(ShmPresenter, ABuddyThatMovedLeavesNothingWhereItStood) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  auto opened = X11Session::open(nullptr);
  ASSERT_TRUE(opened.ok()) << opened.error;
  std::shared_ptr<X11Session> session = std::move(*opened);
  auto shell = make_x11_shell(session);
  ASSERT_TRUE(shell->create_windows({0, 0, 640, 480}, 1.0).ok());
  const auto window = static_cast<Window>(shell->native_window(ShellWindow::overlay));
  const SpriteTextures textures = build_sprite_textures();
  FrameWorld world;
  world.overlay = {0, 0, 640, 480};
  const FrameInput in = world.input();
  const PixelRect all{0, 0, 640, 480};

  FrameLayers layers, fresh_layers;
  auto moving = start_shm_presenter(*session, window, textures, layers);
  auto fresh = start_shm_presenter(*session, window, textures, fresh_layers);
  ASSERT_TRUE(moving.ok() && fresh.ok());
  ASSERT_TRUE((*moving.value)->resize(640, 480).ok());
  ASSERT_TRUE((*fresh.value)->resize(640, 480).ok());

  (void)draw(**moving.value, in, crab(100, 200), {&all, 1}, 0);
  // Where it stood and where it stands now.
  const PixelRect changed[] = {{0, 0, 256, 256}, {256, 128, 640, 384}};
  const std::vector<PixelRect> moved = draw(**moving.value, in, crab(400, 300), changed, 1);
  const std::vector<PixelRect> whole = draw(**fresh.value, in, crab(400, 300), {&all, 1}, 0);
  ASSERT_FALSE(whole.empty());
  EXPECT_EQ(moved, whole);
}

}  // namespace
}  // namespace perchkin
