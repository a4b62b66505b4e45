// Which backends a companion gets: the desktop's, with the system's image decoder and dialog.
#include "app/backends.h"

#include "app/launch.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

TEST(Backends, ADesktopBuiltOnTheFakesStillDecodesRealImages) {
  LaunchOptions options;
  // A desktop that starts from the fakes, as the real ones do.
  auto made = make_backends(options, [](const LaunchOptions&) {
    Backends b = make_fake_backends();
    b.graphics = true;
    return Result<Backends>::success(std::move(b));
  });
  ASSERT_TRUE(made.ok()) << made.error;
  EXPECT_EQ(dynamic_cast<FakeImageDecoder*>(made->images.get()), nullptr);
  EXPECT_EQ(dynamic_cast<FakeFileChooser*>(made->chooser.get()), nullptr);

  options.headless = true;
  auto headless = make_backends(options, nullptr);
  ASSERT_TRUE(headless.ok());
  EXPECT_NE(dynamic_cast<FakeImageDecoder*>(headless->images.get()), nullptr);
}

TEST(Backends, TheDesktopIsForcedOrFollowsWaylandDisplay) {
  EXPECT_FALSE(choose_desktop(nullptr, nullptr)->try_wayland);
  EXPECT_FALSE(choose_desktop("", "")->try_wayland);
  const auto automatic = choose_desktop(nullptr, "wayland-1");
  EXPECT_TRUE(automatic->try_wayland && automatic->x11_after);
  const auto x11 = choose_desktop("x11", "wayland-1");
  EXPECT_FALSE(x11->try_wayland);
  EXPECT_EQ(x11->why, "PERCHKIN_DESKTOP=x11");
  // Forced Wayland never quietly becomes X11, even without WAYLAND_DISPLAY.
  const auto wayland = choose_desktop("wayland", nullptr);
  EXPECT_TRUE(wayland->try_wayland && !wayland->x11_after);
  EXPECT_EQ(choose_desktop("mir", nullptr).error,
            "PERCHKIN_DESKTOP must be \"wayland\" or \"x11\", not \"mir\"");
}

}  // namespace
}  // namespace perchkin
