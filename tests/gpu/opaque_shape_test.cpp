#include "gpu/opaque_shape.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

// A block of repeated rows is one rectangle; faint pixels and pixels outside the rectangle
// asked for are left out; the offset moves everything.
TEST(OpaqueShape, RowsThatRepeatJoinAndFaintPixelsAreCut) {
  constexpr int w = 8, h = 6;
  std::vector<std::uint8_t> image(w * h * 4, 0);
  const auto alpha = [&](int x, int y, std::uint8_t a) { image[(y * w + x) * 4 + 3] = a; };
  for (int y = 1; y < 4; ++y)
    for (int x = 2; x < 5; ++x) alpha(x, y, 255);
  alpha(6, 2, 127);  // a shadow's edge
  alpha(6, 4, 128);
  alpha(7, 4, 200);
  alpha(0, 5, 255);  // outside the rectangle below

  std::vector<PixelRect> out;
  opaque_rectangles(image.data(), w * 4, {1, 0, 8, 5}, 100, 10, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], (PixelRect{102, 11, 105, 14}));
  EXPECT_EQ(out[1], (PixelRect{106, 14, 108, 15}));
}

}  // namespace
}  // namespace perchkin
