#include "gpu/icon.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace perchkin {
namespace {

TEST(Icon, LargerSizesAreTheSixteenPixelCrabInWholeCells) {
  const RgbaImage small = crab_icon(16);
  for (int size : {32, 48, 256}) {
    const RgbaImage big = crab_icon(size);
    const int unit = size / 16;
    const int pad = (size - 16 * unit) / 2;
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const std::uint32_t want = pixel_at(small, x, y);
        opaque += (want & 0xFF) != 0;
        for (int dy = 0; dy < unit; ++dy)
          for (int dx = 0; dx < unit; ++dx)
            ASSERT_EQ(pixel_at(big, pad + x * unit + dx, pad + y * unit + dy), want)
                << size << " at " << x << "," << y;
      }
    EXPECT_GT(opaque, 60) << "the crab is drawn";
  }
}

TEST(Icon, IcoDirectoryPointsAtEachPng) {
  const std::vector<RgbaImage> images = {crab_icon(16), crab_icon(256)};
  const std::vector<std::uint8_t> ico = encode_ico(images);
  auto u16 = [&](std::size_t at) { return ico[at] | ico[at + 1] << 8; };
  auto u32 = [&](std::size_t at) { return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16); };
  EXPECT_EQ(u16(0), 0);
  EXPECT_EQ(u16(2), 1);
  EXPECT_EQ(u16(4), 2);
  EXPECT_EQ(ico[6], 16);
  EXPECT_EQ(ico[6 + 16], 0) << "256 is written as 0";
  std::uint32_t end = 0;
  for (std::size_t i = 0; i < 2; ++i) {
    const std::uint32_t size = u32(6 + 16 * i + 8), offset = u32(6 + 16 * i + 12);
    ASSERT_LE(offset + size, ico.size());
    EXPECT_EQ(ico[offset + 1], 'P');
    EXPECT_EQ(ico[offset + 2], 'N');
    end = offset + size;
  }
  EXPECT_EQ(end, ico.size());
}

// The Windows build embeds the committed icon file; it must be what make_icons draws today.
TEST(Icon, CommittedWindowsIconMatchesTheSprite) {
  std::ifstream in(PERCHKIN_SOURCE_DIR "/packaging/windows/perchkin.ico", std::ios::binary);
  if (!in) GTEST_SKIP() << "source tree not reachable from this test run";
  const std::vector<std::uint8_t> committed((std::istreambuf_iterator<char>(in)), {});
  std::vector<RgbaImage> images;
  for (int size : kIconSizes) images.push_back(crab_icon(size));
  EXPECT_TRUE(committed == encode_ico(images))
      << "run: make_icons --ico packaging/windows/perchkin.ico";
}

}  // namespace
}  // namespace perchkin
