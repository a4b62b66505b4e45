#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "gpu/png.h"

namespace perchkin {
namespace {

std::span<const std::uint8_t> bytes_of(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Walks the chunks (checking each CRC) and undoes the stored deflate blocks.
std::vector<std::uint8_t> read_back(const std::vector<std::uint8_t>& png, std::uint32_t& width, std::uint32_t& height) {
  std::vector<std::uint8_t> z;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t len = be32(&png[at]);
    const std::string_view type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    EXPECT_EQ(crc32(std::span<const std::uint8_t>(png).subspan(at + 4, len + 4)), be32(&png[at + 8 + len])) << type;
    if (type == "IHDR") {
      width = be32(&png[at + 8]);
      height = be32(&png[at + 12]);
    }
    if (type == "IDAT") z.insert(z.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8), png.begin() + static_cast<std::ptrdiff_t>(at + 8 + len));
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  std::vector<std::uint8_t> raw;
  std::size_t i = 2;
  bool last = false;
  while (!last && i + 5 <= z.size()) {
    last = (z[i] & 1) != 0;
    const std::size_t len = z[i + 1] | (z[i + 2] << 8);
    EXPECT_EQ(len ^ 0xFFFFu, static_cast<std::size_t>(z[i + 3] | (z[i + 4] << 8)));
    raw.insert(raw.end(), z.begin() + static_cast<std::ptrdiff_t>(i + 5), z.begin() + static_cast<std::ptrdiff_t>(i + 5 + len));
    i += 5 + len;
  }
  EXPECT_TRUE(last);
  EXPECT_EQ(be32(&z[i]), adler32(raw));
  return raw;
}

TEST(Checksums, MatchKnownValues) {
  EXPECT_EQ(crc32(bytes_of("IEND")), 0xAE426082u);
  EXPECT_EQ(crc32(bytes_of("123456789")), 0xCBF43926u);
  EXPECT_EQ(adler32(bytes_of("Wikipedia")), 0x11E60398u);
  EXPECT_EQ(adler32({}), 1u);
  // Long input crosses the point where the sums must be reduced.
  const std::vector<std::uint8_t> ff(100000, 0xFF);
  EXPECT_EQ(adler32(ff), 0x149A302Cu);
}

TEST(Png, RoundTripsPixelsWithStraightAlpha) {
  RgbaImage image = make_image(2, 1);
  const std::uint8_t px[8] = {255, 0, 0, 255, 64, 32, 0, 128};  // premultiplied half-alpha second pixel
  std::memcpy(image.pixels.data(), px, 8);
  const std::vector<std::uint8_t> png = encode_png(image);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  std::uint32_t w = 0, h = 0;
  const std::vector<std::uint8_t> raw = read_back(png, w, h);
  EXPECT_EQ(w, 2u);
  EXPECT_EQ(h, 1u);
  EXPECT_EQ(raw, (std::vector<std::uint8_t>{0, 255, 0, 0, 255, 128, 64, 0, 128}));
}

TEST(Png, LargeImagesSpanManyStoredBlocks) {
  RgbaImage image = make_image(300, 200);
  fill(image, {0.0f, 1.0f, 0.0f}, 1.0f);
  std::uint32_t w = 0, h = 0;
  const std::vector<std::uint8_t> raw = read_back(encode_png(image), w, h);
  EXPECT_EQ(w, 300u);
  EXPECT_EQ(h, 200u);
  ASSERT_EQ(raw.size(), 200u * (300u * 4u + 1u));
  EXPECT_EQ(raw[0], 0);
  EXPECT_EQ(raw[1 + 4 * 299 + 1], 255);
}

}  // namespace
}  // namespace perchkin
