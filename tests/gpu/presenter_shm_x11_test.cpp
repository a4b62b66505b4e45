// The software presenter on a real overlay window: after a frame that redrew only some
// rectangles its image holds what a new presenter's holds after drawing that frame whole, and
// over many frames, some of them skipped, what a whole redraw of the last one shows.
#include <gtest/gtest.h>

#include "gpu/presenter_shm_x11.h"

#include <X11/Xutil.h>

#include <cstdlib>
#include <vector>

#include "gpu/frame_driver.h"
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

// A 640 x 480 overlay window on the test's X display.
class ShmPresenter : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
    shell = make_x11_shell(session);
    ASSERT_TRUE(shell->create_windows({0, 0, 640, 480}, 1.0).ok());
    window = static_cast<Window>(shell->native_window(ShellWindow::overlay));
  }
  std::shared_ptr<X11Session> session;
  std::unique_ptr<Shell> shell;
  Window window = None;
  const SpriteTextures textures = build_sprite_textures();
};

TEST_F(ShmPresenter, ABuddyThatMovedLeavesNothingWhereItStood) {
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

std::vector<std::uint32_t> window_pixels(Display* d, Window w, int width, int height) {
  std::vector<std::uint32_t> out;
  XImage* img = XGetImage(d, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                          AllPlanes, ZPixmap);
  if (img == nullptr) return out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out.push_back(static_cast<std::uint32_t>(XGetPixel(img, x, y)));
  XDestroyImage(img);
  return out;
}

TEST_F(ShmPresenter, FramesDrawnInPartsAndSkippedShowWhatAWholeRedrawShows) {
  FrameLayers layers;
  auto presenter = start_shm_presenter(*session, window, textures, layers);
  ASSERT_TRUE(presenter.ok());
  double clock = 0.0;
  FrameDriver driver(FramePacing{[&] { return clock; }, [](double) {}});
  driver.use(std::move(*presenter.value), {});

  // A sleeper and a walker; sleep marks rising slower than a pixel a frame.
  FrameWorld world;
  world.overlay = {0, 0, 640, 480};
  world.crew.buddies.push_back(idle_buddy(0, 200, 400));
  world.crew.buddies[0].motion.mode = BuddyMode::sleep;
  world.crew.buddies.push_back(idle_buddy(1, 420, 400, "blue"));
  world.crew.buddies[1].motion.mode = BuddyMode::walk;
  for (int k = 0; k < 3; ++k) {
    Particle z = make_particle(ParticleKind::text, rgba(0x5B6BD6), 220 + 30 * k, 330, 0, 0, 9);
    z.text = k % 2 ? "z" : "Z";
    z.style = TextStyle::label;
    world.effects.particles.push_back(z);
  }
  int skipped = 0;
  for (int frame = 0; frame < 90; ++frame) {
    world.clock += 1.0 / 60.0;
    clock += 1.0 / 60.0;
    for (std::size_t k = 0; k < world.effects.particles.size(); ++k)
      world.effects.particles[k].y -= 0.2f + 0.15f * static_cast<float>(k);
    if (frame % 4 == 0) world.crew.buddies[1].motion.x += 1.0;
    if (frame == 50) world.effects.particles.pop_back();  // a mark fades away
    const FrameInput in = world.input();
    RenderEntry& e = world.entries.entries[1];
    e.prev_x = e.x = world.crew.buddies[1].motion.x;
    auto drawn = driver.frame(in);
    ASSERT_TRUE(drawn.ok()) << drawn.error;
    skipped += drawn->drawn ? 0 : 1;
    if (frame % 15 != 14) continue;
    const auto parts = window_pixels(session->display(), window, 640, 480);
    driver.redraw_whole();
    ASSERT_TRUE(driver.frame(in).ok());
    const auto whole = window_pixels(session->display(), window, 640, 480);
    ASSERT_EQ(parts.size(), whole.size());
    EXPECT_TRUE(parts == whole) << "frame " << frame;
  }
  EXPECT_GT(skipped, 10);
}

}  // namespace
}  // namespace perchkin
