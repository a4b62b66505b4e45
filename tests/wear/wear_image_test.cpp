#include "wear/wear_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace perchkin {
namespace {

std::vector<std::uint8_t> solid(ImageSize size, std::array<std::uint8_t, 4> rgba) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t i = 0; i < size.width * size.height; ++i) out.insert(out.end(), rgba.begin(), rgba.end());
  return out;
}

void put(std::vector<std::uint8_t>& rgba, ImageSize size, std::uint32_t x, std::uint32_t y,
         std::array<std::uint8_t, 4> px) {
  std::copy(px.begin(), px.end(), rgba.begin() + (std::size_t{y} * size.width + x) * 4);
}

// Counts decode calls, so tests can see that a refusal came before any pixel work.
class CountingDecoder final : public ImageDecoder {
 public:
  FakeImageDecoder inner;
  int decodes = 0;
  Result<ImageSize> probe(std::span<const std::uint8_t> bytes) override {
    return inner.probe(bytes);
  }
  Result<std::vector<std::uint8_t>> decode(std::span<const std::uint8_t> bytes,
                                           ImageSize target) override {
    ++decodes;
    return inner.decode(bytes, target);
  }
  std::string_view reader_name() const override { return "Tester"; }
};

TEST(WearImage, TargetSizeShrinksTheLongerSideTo256AndNeverEnlarges) {
  EXPECT_EQ(wear_target_size({2048, 1024}), (ImageSize{256, 128}));
  EXPECT_EQ(wear_target_size({100, 50}), (ImageSize{100, 50}));
  EXPECT_EQ(wear_target_size({1, 12000}), (ImageSize{1, 256}));
  EXPECT_EQ(wear_target_size({300, 1}), (ImageSize{256, 1}));
  // 257 x 3: s = 256/257, 3 s = 2.988 rounds to 3.
  EXPECT_EQ(wear_target_size({257, 3}), (ImageSize{256, 3}));
  // 1000 x 2: 0.512 rounds to 1; 1000 x 1 would be 0.256 and is held at 1.
  EXPECT_EQ(wear_target_size({1000, 2}), (ImageSize{256, 1}));
  EXPECT_EQ(wear_target_size({1000, 1}), (ImageSize{256, 1}));
}

TEST(WearImage, ShrinkAveragesExactCoverageOnPremultipliedValues) {
  // 4 x 2 to 2 x 1: each target pixel is the mean of a 2 x 2 block.
  ImageSize from{4, 2};
  auto rgba = solid(from, {0, 0, 0, 255});
  put(rgba, from, 0, 0, {255, 0, 0, 255});
  put(rgba, from, 1, 1, {255, 0, 0, 255});  // two red, two black: r = 127.5 rounds up
  put(rgba, from, 2, 0, {0, 0, 200, 255});  // one blue in four: 50
  auto out = shrink_to_premultiplied_bgra(rgba, from, {2, 1});
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 128, 255, 50, 0, 0, 255}));

  // 3 x 1 to 2 x 1: the middle pixel is split half and half.
  from = {3, 1};
  rgba = solid(from, {0, 0, 0, 255});
  put(rgba, from, 0, 0, {255, 255, 255, 255});
  put(rgba, from, 2, 0, {30, 30, 30, 255});
  out = shrink_to_premultiplied_bgra(rgba, from, {2, 1});
  EXPECT_EQ(out, (std::vector<std::uint8_t>{170, 170, 170, 255, 20, 20, 20, 255}));

  // Opaque red beside transparent green: no green fringe, half alpha.
  from = {2, 1};
  rgba = {255, 0, 0, 255, 0, 255, 0, 0};
  out = shrink_to_premultiplied_bgra(rgba, from, {1, 1});
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 128, 128}));

  // Same size: a plain premultiply with rounding, in BGRA order.
  rgba = {200, 100, 50, 128};
  out = shrink_to_premultiplied_bgra(rgba, {1, 1}, {1, 1});
  EXPECT_EQ(out, (std::vector<std::uint8_t>{25, 50, 100, 128}));

  // Too few bytes, or a larger target: nothing.
  EXPECT_TRUE(shrink_to_premultiplied_bgra(rgba, {2, 1}, {1, 1}).empty());
  EXPECT_TRUE(shrink_to_premultiplied_bgra(rgba, {1, 1}, {2, 1}).empty());
}

TEST(WearImage, ShrinkOfALargePatternKeepsItsMean) {
  // A 1024 x 512 checkerboard of 2 x 2 cells (black, white) shrinks to 256 x 128 mid-grey.
  ImageSize from{1024, 512};
  std::vector<std::uint8_t> rgba(std::size_t{from.width} * from.height * 4);
  for (std::uint32_t y = 0; y < from.height; ++y)
    for (std::uint32_t x = 0; x < from.width; ++x) {
      const std::uint8_t v = ((x / 2 + y / 2) % 2) ? 255 : 0;
      put(rgba, from, x, y, {v, v, v, 255});
    }
  const auto out = shrink_to_premultiplied_bgra(rgba, from, wear_target_size(from));
  ASSERT_EQ(out.size(), 256u * 128u * 4u);
  for (std::size_t i = 0; i < out.size(); i += 4) {
    ASSERT_EQ(out[i], 128) << i;
    ASSERT_EQ(out[i + 3], 255) << i;
  }
}

TEST(WearImage, VisibleBoxCountsAlphaAboveEightOnly) {
  ImageSize size{5, 4};
  std::vector<std::uint8_t> bgra(5 * 4 * 4, 0);
  auto alpha_at = [&](std::uint32_t x, std::uint32_t y, std::uint8_t a) { bgra[(y * 5 + x) * 4 + 3] = a; };
  alpha_at(0, 0, 8);
  alpha_at(4, 3, 8);
  EXPECT_FALSE(visible_box(bgra, size));
  alpha_at(3, 1, 9);
  alpha_at(1, 2, 255);
  ASSERT_TRUE(visible_box(bgra, size));
  EXPECT_EQ(*visible_box(bgra, size), (PixelBox{1, 1, 4, 3}));
  const auto cropped = crop_bgra(bgra, size, {1, 1, 4, 3});
  ASSERT_EQ(cropped.size(), 3u * 2u * 4u);
  EXPECT_EQ(cropped[(0 * 3 + 2) * 4 + 3], 9);
  EXPECT_EQ(cropped[(1 * 3 + 0) * 4 + 3], 255);
}

TEST(WearImage, DecodeCropsToTheVisibleSquare) {
  // A 10 x 10 opaque square in a 200 x 200 transparent canvas: 200 is under 256, so no shrink.
  ImageSize size{200, 200};
  auto rgba = solid(size, {0, 255, 0, 0});
  for (std::uint32_t y = 60; y < 70; ++y)
    for (std::uint32_t x = 50; x < 60; ++x) put(rgba, size, x, y, {255, 0, 0, 255});
  FakeImageDecoder decoder;
  auto image = decode_wear_bytes(decoder, fake_image_bytes(size, rgba), "hat.png");
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image->name, "hat.png");
  EXPECT_EQ(image->width(), 10u);
  EXPECT_EQ(image->height(), 10u);
  EXPECT_EQ(image->bitmap.bgra, solid({10, 10}, {0, 0, 255, 255}));
  EXPECT_EQ(image->bitmap.id,
            bitmap_content_id(10, 10, std::span<const std::uint8_t>(image->bitmap.bgra)));

  // 2048 x 1024 shrinks to 256 x 128 before the crop.
  size = {2048, 1024};
  image = decode_wear_bytes(decoder, fake_image_bytes(size, solid(size, {9, 9, 9, 255})), "big");
  ASSERT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(image->width(), 256u);
  EXPECT_EQ(image->height(), 128u);
}

TEST(WearImage, DecodeRefusesBadSizesBeforeDecodingAndSaysWhy) {
  CountingDecoder decoder;
  for (ImageSize size : {ImageSize{12001, 1}, ImageSize{1, 12001}, ImageSize{0, 5}, ImageSize{65535, 65535}}) {
    // The header alone claims the size; no pixels follow.
    auto image = decode_wear_bytes(decoder, fake_image_bytes(size, {}), "x");
    EXPECT_EQ(image.error, "That image is too large.");
  }
  EXPECT_EQ(decoder.decodes, 0);

  auto image = decode_wear_bytes(decoder, fake_image_bytes({3, 3}, solid({3, 3}, {1, 2, 3, 8})), "x");
  EXPECT_EQ(image.error, "That image is completely transparent.");

  const std::vector<std::uint8_t> junk = {'G', 'I', 'F'};
  image = decode_wear_bytes(decoder, junk, "x");
  EXPECT_EQ(image.error, "Tester couldn't read that image (not an image).");
  // A header whose pixels are missing fails in the decoder, not with a crash.
  image = decode_wear_bytes(decoder, fake_image_bytes({4, 4}, solid({4, 1}, {1, 1, 1, 255})), "x");
  EXPECT_EQ(image.error, "Tester couldn't read that image (truncated).");
}

TEST(WearImage, DecodeFileChecksTheFileSizeFirst) {
  const auto dir = std::filesystem::temp_directory_path() / "perchkin_wear_image_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  CountingDecoder decoder;

  const auto big = dir / "big.png";
  {
    std::ofstream out(big, std::ios::binary);
    const auto header = fake_image_bytes({1, 1}, solid({1, 1}, {1, 1, 1, 255}));
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  }
  std::filesystem::resize_file(big, 21 * 1000 * 1000);
  EXPECT_EQ(decode_wear_file(decoder, big, "big.png").error, "That image is over 20 MB.");
  std::filesystem::resize_file(big, kMaxWearFileBytes);  // exactly 20 MiB is allowed
  std::string bytes;
  auto image = decode_wear_file(decoder, big, "big.png", &bytes);
  EXPECT_TRUE(image.ok()) << image.error;
  EXPECT_EQ(bytes.size(), kMaxWearFileBytes);

  auto missing = decode_wear_file(decoder, dir / "missing.png", "missing.png");
  EXPECT_EQ(missing.error.rfind("Tester couldn't read that image (", 0), 0u) << missing.error;
  std::filesystem::remove_all(dir);
}

TEST(WearImage, CopyNamesKeepOnlySafeStemCharacters) {
  EXPECT_EQ(wear_copy_name("My Hat (final).PNG", 1700000000123), "1700000000123-MyHatfinal.png");
  EXPECT_EQ(wear_copy_name("!!!.gif", 5), "5-image.gif");
  EXPECT_EQ(wear_copy_name(".webp", 5), "5-image.webp");
  EXPECT_EQ(wear_copy_name("a.b-c_d.JpEg", 5), "5-ab-c_d.jpeg");
  EXPECT_EQ(wear_copy_name("caf\xc3\xa9.bmp", -20), "0-caf.bmp");
  EXPECT_EQ(wear_copy_name(std::string(50, 'x') + ".jpg", 1), "1-" + std::string(40, 'x') + ".jpg");
  EXPECT_FALSE(wear_copy_name("hat", 1));
  EXPECT_FALSE(wear_copy_name("hat.png.txt", 1));
  EXPECT_FALSE(wear_copy_name("hat.tiff", 1));
}

TEST(WearImage, PlainNamesHaveNoPathInThem) {
  EXPECT_TRUE(is_plain_wear_name("1-hat.png"));
  for (std::string_view bad : {"", ".", "..", "a/b.png", "a\\b.png", "C:hat.png", "../x"})
    EXPECT_FALSE(is_plain_wear_name(bad)) << bad;
  EXPECT_FALSE(is_plain_wear_name(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace perchkin
