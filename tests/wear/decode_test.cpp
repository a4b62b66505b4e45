// The system decoder on real files of every accepted format, built here byte by byte.
#include "gpu/png.h"
#include "wear/wear_image.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace perchkin {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32be(Bytes& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}
void put16le(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32le(Bytes& out, std::uint32_t v) {
  put16le(out, v & 0xFFFF);
  put16le(out, v >> 16);
}

void chunk(Bytes& out, const char* type, const Bytes& data) {
  put32be(out, static_cast<std::uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  put32be(out, crc32(body));
}

// A PNG of any depth and colour type from filtered rows (each starting with filter byte 0),
// compressed as stored deflate blocks.
Bytes png(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colour, const Bytes& raw) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  put32be(ihdr, w);
  put32be(ihdr, h);
  ihdr.insert(ihdr.end(), {depth, colour, 0, 0, 0});
  chunk(out, "IHDR", ihdr);
  Bytes z = {0x78, 0x01};
  std::size_t done = 0;
  do {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - done);
    z.push_back(done + n == raw.size() ? 1 : 0);
    put16le(z, static_cast<std::uint32_t>(n));
    put16le(z, static_cast<std::uint32_t>(~n & 0xFFFF));
    z.insert(z.end(), raw.begin() + static_cast<long>(done), raw.begin() + static_cast<long>(done + n));
    done += n;
  } while (done < raw.size());
  put32be(z, adler32(raw));
  chunk(out, "IDAT", z);
  chunk(out, "IEND", {});
  return out;
}

// Straight RGBA rows to an 8-bit RGBA PNG.
Bytes png_rgba(std::uint32_t w, std::uint32_t h, const Bytes& rgba) {
  Bytes raw;
  for (std::uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgba.begin() + y * w * 4, rgba.begin() + (y + 1) * w * 4);
  }
  return png(w, h, 8, 6, raw);
}

Bytes fill(std::uint32_t count, std::array<std::uint8_t, 4> px) {
  Bytes out;
  for (std::uint32_t i = 0; i < count; ++i) out.insert(out.end(), px.begin(), px.end());
  return out;
}

// 24-bit bottom-up BMP; rows padded to four bytes.
Bytes bmp(std::uint32_t w, std::uint32_t h, std::array<std::uint8_t, 3> rgb) {
  const std::uint32_t row = (w * 3 + 3) / 4 * 4;
  Bytes out = {'B', 'M'};
  put32le(out, 54 + row * h);
  put32le(out, 0);
  put32le(out, 54);
  put32le(out, 40);
  put32le(out, w);
  put32le(out, h);
  put16le(out, 1);
  put16le(out, 24);
  for (int i = 0; i < 6; ++i) put32le(out, 0);
  for (std::uint32_t y = 0; y < h; ++y) {
    for (std::uint32_t x = 0; x < w; ++x) out.insert(out.end(), {rgb[2], rgb[1], rgb[0]});
    for (std::uint32_t p = w * 3; p < row; ++p) out.push_back(0);
  }
  return out;
}

// A GIF of four palette colours whose frames each fill the screen with one index; index 3 is
// transparent. LZW codes stay 3 bits wide by clearing the table every two pixels.
Bytes gif(std::uint32_t w, std::uint32_t h, const std::vector<std::uint8_t>& frame_indices) {
  Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
  put16le(out, w);
  put16le(out, h);
  out.insert(out.end(), {0xF1, 0, 0});  // global table of 4 colours
  out.insert(out.end(), {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0});
  for (std::uint8_t index : frame_indices) {
    out.insert(out.end(), {0x21, 0xF9, 4, 0x05, 10, 0, 3, 0});  // transparent index 3
    out.push_back(0x2C);
    put16le(out, 0);
    put16le(out, 0);
    put16le(out, w);
    put16le(out, h);
    out.push_back(0);
    out.push_back(2);  // minimum code size
    std::vector<std::uint8_t> codes;
    for (std::uint32_t i = 0; i < w * h; ++i) {
      if (i % 2 == 0) codes.push_back(4);  // clear
      codes.push_back(index);
    }
    codes.push_back(5);  // end
    Bytes packed;
    std::uint32_t acc = 0, bits = 0;
    for (std::uint8_t c : codes) {
      acc |= std::uint32_t{c} << bits;
      bits += 3;
      while (bits >= 8) {
        packed.push_back(static_cast<std::uint8_t>(acc));
        acc >>= 8;
        bits -= 8;
      }
    }
    if (bits) packed.push_back(static_cast<std::uint8_t>(acc));
    for (std::size_t i = 0; i < packed.size(); i += 255) {
      const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
      out.push_back(static_cast<std::uint8_t>(n));
      out.insert(out.end(), packed.begin() + static_cast<long>(i), packed.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
  }
  out.push_back(0x3B);
  return out;
}

const std::uint8_t kJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08,
    0x0b, 0x0c, 0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x02, 0x02,
    0x02, 0x02, 0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x06, 0x00, 0x08, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4, 0x00,
    0x14, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00,
    0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x07, 0x3c, 0x07, 0x77, 0xff, 0xd9,
};
const std::uint8_t kCmykJpeg[] = {
    0xff, 0xd8, 0xff, 0xee, 0x00, 0x0e, 0x41, 0x64, 0x6f, 0x62, 0x65, 0x00, 0x64, 0x00, 0x00, 0x00,
    0x00, 0x02, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02, 0x01, 0x01,
    0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04, 0x04, 0x03,
    0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06, 0x07, 0x09,
    0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08, 0x0b, 0x0c,
    0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x02, 0x02, 0x02, 0x02,
    0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0, 0x00, 0x14,
    0x08, 0x00, 0x06, 0x00, 0x08, 0x04, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0x04,
    0x11, 0x00, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
    0xc4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x08, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0e,
    0x04, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x04, 0x00, 0x00, 0x3f, 0x00, 0x41, 0x34, 0xca, 0x85,
    0x30, 0x7f, 0xff, 0xd9,
};
const std::uint8_t kWebp[] = {
    0x52, 0x49, 0x46, 0x46, 0x1c, 0x00, 0x00, 0x00, 0x57, 0x45, 0x42, 0x50, 0x56, 0x50, 0x38, 0x4c,
    0x0f, 0x00, 0x00, 0x00, 0x2f, 0x04, 0x80, 0x00, 0x10, 0x07, 0x10, 0xfd, 0x8f, 0xfe, 0x05, 0x22,
    0xa2, 0xff, 0x01, 0x00,
};
const std::uint8_t kAnimatedWebp[] = {
    0x52, 0x49, 0x46, 0x46, 0x84, 0x00, 0x00, 0x00, 0x57, 0x45, 0x42, 0x50, 0x56, 0x50, 0x38, 0x58,
    0x0a, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00, 0x00, 0x41, 0x4e,
    0x49, 0x4d, 0x06, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x41, 0x4e, 0x4d, 0x46,
    0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00, 0x00,
    0x64, 0x00, 0x00, 0x02, 0x56, 0x50, 0x38, 0x4c, 0x0f, 0x00, 0x00, 0x00, 0x2f, 0x03, 0x40, 0x00,
    0x00, 0x07, 0x10, 0xfd, 0x8f, 0xfe, 0x07, 0x22, 0xa2, 0xff, 0x01, 0x00, 0x41, 0x4e, 0x4d, 0x46,
    0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00, 0x00,
    0x64, 0x00, 0x00, 0x00, 0x56, 0x50, 0x38, 0x4c, 0x0f, 0x00, 0x00, 0x00, 0x2f, 0x03, 0x40, 0x00,
    0x00, 0x07, 0x10, 0xd1, 0xff, 0xfe, 0x07, 0x22, 0xa2, 0xff, 0x01, 0x00, 0x52, 0x49, 0x46, 0x46,
    0x1c, 0x00, 0x00, 0x00, 0x57, 0x45, 0x42, 0x50, 0x56, 0x50, 0x38, 0x4c, 0x0f, 0x00, 0x00, 0x00,
    0x2f, 0x03, 0x40, 0x00, 0x00, 0x07, 0x10, 0xfd, 0x8f, 0xfe, 0x07, 0x22, 0xa2, 0xff, 0x01, 0x00,
};

class Decode : public ::testing::Test {
 protected:
  Result<WearImage> decode(const Bytes& bytes) { return decode_wear_bytes(*decoder, bytes, "x"); }
  template <std::size_t N>
  Result<WearImage> decode(const std::uint8_t (&bytes)[N]) {
    return decode_wear_bytes(*decoder, std::span<const std::uint8_t>(bytes, N), "x");
  }
  std::string read_failure_prefix() {
    return std::string(decoder->reader_name()) + " couldn't read that image (";
  }
  // The centre pixel as BGRA.
  static std::array<int, 4> centre(const WearImage& image) {
    const std::size_t i = (static_cast<std::size_t>(image.height() / 2) * image.width() + image.width() / 2) * 4;
    return {image.bitmap.bgra[i], image.bitmap.bgra[i + 1], image.bitmap.bgra[i + 2], image.bitmap.bgra[i + 3]};
  }
  std::unique_ptr<ImageDecoder> decoder = make_image_decoder();
};

TEST_F(Decode, PngOfOddSizeKeepsItsPixelsPremultiplied) {
  Bytes rgba = fill(7 * 5, {0, 0, 0, 0});
  for (std::uint32_t i = 7; i < 7 * 4; ++i) {
    rgba[i * 4] = 200;
    rgba[i * 4 + 1] = 100;
    rgba[i * 4 + 2] = 50;
    rgba[i * 4 + 3] = 128;
  }
  auto image = decode(png_rgba(7, 5, rgba));
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image->width(), 7u);
  EXPECT_EQ(image->height(), 3u);  // the clear first and last rows are cropped
  EXPECT_EQ(centre(*image), (std::array<int, 4>{25, 50, 100, 128}));
}

TEST_F(Decode, SixteenBitPngAndTallThinPng) {
  // 16-bit RGBA, 3 x 2, every pixel 0xFFFF red, 0x8080 alpha.
  Bytes raw;
  for (int y = 0; y < 2; ++y) {
    raw.push_back(0);
    for (int x = 0; x < 3; ++x) raw.insert(raw.end(), {0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0x80});
  }
  auto image = decode(png(3, 2, 16, 6, raw));
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image->width(), 3u);
  const auto px = centre(*image);
  EXPECT_EQ(px[3], 128);
  EXPECT_EQ(px[2], 128);
  EXPECT_EQ(px[0], 0);

  // 1 x 12000 is allowed and shrinks to 1 x 256; one more row is refused from the header.
  auto tall = decode(png_rgba(1, 12000, fill(12000, {0, 0, 255, 255})));
  ASSERT_TRUE(tall.ok()) << tall.error;
  EXPECT_EQ(tall->width(), 1u);
  EXPECT_EQ(tall->height(), 256u);
  EXPECT_EQ(centre(*tall), (std::array<int, 4>{255, 0, 0, 255}));
  // 12001 rows are refused as soon as the header is read.
  Bytes rows;
  for (int y = 0; y < 12001; ++y) rows.insert(rows.end(), {0, 0, 0, 0, 255});
  const Bytes header_only = png(1, 12001, 8, 6, rows);
  EXPECT_EQ(decode(header_only).error, "That image is too large.");
}

TEST_F(Decode, TransparentPngIsRefused) {
  EXPECT_EQ(decode(png_rgba(4, 4, fill(16, {255, 255, 255, 8}))).error,
            "That image is completely transparent.");
}

TEST_F(Decode, BmpWithPaddedRows) {
  auto image = decode(bmp(5, 3, {10, 20, 30}));
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image->width(), 5u);
  EXPECT_EQ(image->height(), 3u);
  EXPECT_EQ(centre(*image), (std::array<int, 4>{30, 20, 10, 255}));
}

TEST_F(Decode, GifFirstFrameWithTransparency) {
  auto image = decode(gif(5, 3, {1, 2}));  // green, then blue: the first frame counts
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image->width(), 5u);
  EXPECT_EQ(centre(*image), (std::array<int, 4>{0, 255, 0, 255}));
  EXPECT_EQ(decode(gif(4, 4, {3})).error, "That image is completely transparent.");
}

TEST_F(Decode, JpegIncludingCmyk) {
  // Both hold #3366CC, 8 x 6; lossy, so the colour is near, not exact.
  for (auto result : {decode(kJpeg), decode(kCmykJpeg)}) {
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result->width(), 8u);
    EXPECT_EQ(result->height(), 6u);
    const auto px = centre(*result);
    EXPECT_NEAR(px[0], 0xCC, 12);
    EXPECT_NEAR(px[1], 0x66, 12);
    EXPECT_NEAR(px[2], 0x33, 12);
    EXPECT_EQ(px[3], 255);
  }
}

TEST_F(Decode, WebpStillAndAnimated) {
#ifdef _WIN32
  GTEST_SKIP() << "WIC reads WebP only with the optional WebP codec installed";
#endif
  auto still = decode(kWebp);  // 5 x 3 red at half alpha
  ASSERT_TRUE(still.ok()) << still.error;
  EXPECT_EQ(still->width(), 5u);
  EXPECT_EQ(still->height(), 3u);
  const auto px = centre(*still);
  EXPECT_NEAR(px[2], 128, 1);
  EXPECT_NEAR(px[3], 128, 1);
  auto anim = decode(kAnimatedWebp);  // 4 x 2, red then blue
  ASSERT_TRUE(anim.ok()) << anim.error;
  EXPECT_EQ(anim->width(), 4u);
  EXPECT_EQ(centre(*anim), (std::array<int, 4>{0, 0, 255, 255}));
}

// A few bytes that declare a gigabyte of image data are refused before any of it is reserved.
TEST_F(Decode, APngChunkLongerThanTheFileIsRefused) {
  Bytes file = png_rgba(2, 2, fill(4, {9, 9, 9, 255}));
  const std::size_t idat = 8 + 12 + 13;  // signature, then the IHDR chunk
  ASSERT_EQ(std::string(file.begin() + idat + 4, file.begin() + idat + 8), "IDAT");
  for (std::uint32_t length : {0x40000000u, 0xFFFFFFFFu, static_cast<std::uint32_t>(file.size())}) {
    Bytes bad = file;
    for (int k = 0; k < 4; ++k) bad[idat + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(length >> (24 - 8 * k));
    const auto result = decode(bad);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error.rfind(read_failure_prefix(), 0), 0u) << result.error;
#ifndef _WIN32
    EXPECT_NE(result.error.find("a PNG chunk runs past the end of the file"), std::string::npos) << result.error;
#endif
  }
}

TEST_F(Decode, TruncatedAndDamagedFilesFailWithTheMessage) {
  std::vector<Bytes> files = {png_rgba(6, 6, fill(36, {1, 2, 3, 255})), bmp(6, 6, {1, 2, 3}),
                              gif(6, 6, {0}), Bytes(std::begin(kJpeg), std::end(kJpeg)),
                              Bytes(std::begin(kCmykJpeg), std::end(kCmykJpeg))};
#ifndef _WIN32
  files.emplace_back(std::begin(kWebp), std::end(kWebp));
  files.emplace_back(std::begin(kAnimatedWebp), std::end(kAnimatedWebp));
#endif
  for (const Bytes& file : files) {
    for (std::size_t keep : {std::size_t{0}, std::size_t{5}, std::size_t{14}, file.size() / 2, file.size() - 4}) {
      Bytes cut(file.begin(), file.begin() + static_cast<long>(keep));
      auto result = decode(cut);
      // Some formats decode a cut file into partly blank pixels; what matters is no crash and
      // either an image or a message.
      if (!result.ok()) {
        const bool known = result.error.rfind(read_failure_prefix(), 0) == 0 ||
                           result.error == "That image is completely transparent.";
        EXPECT_TRUE(known) << result.error;
      }
    }
    // Every third byte of the first 64 flipped in turn.
    for (std::size_t i = 0; i < std::min<std::size_t>(64, file.size()); i += 3) {
      Bytes bad = file;
      bad[i] ^= 0xFF;
      (void)decode(bad);
    }
  }
  EXPECT_EQ(decode(Bytes{}).error.rfind(read_failure_prefix(), 0), 0u);
  EXPECT_EQ(decode(Bytes(100, 0x41)).error.rfind(read_failure_prefix(), 0), 0u);
}

}  // namespace
}  // namespace perchkin
