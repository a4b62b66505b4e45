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

}  // namespace
}  // namespace perchkin
