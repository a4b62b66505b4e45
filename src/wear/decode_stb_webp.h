// The Linux image decoder (stb_image and libwebp).
#pragma once

#include "wear/wear_backend.h"

#include <cstdint>

namespace perchkin {

class PosixImageDecoder final : public ImageDecoder {
 public:
  // Images are decoded whole before shrinking; more pixels than this are refused, which bounds
  // the memory a file can claim (4 bytes a pixel, plus the format's own working copy).
  static constexpr std::uint64_t kDefaultMaxPixels = 50'000'000;
  explicit PosixImageDecoder(std::uint64_t max_pixels = kDefaultMaxPixels)
      : max_pixels_(max_pixels) {}

  Result<ImageSize> probe(std::span<const std::uint8_t> bytes) override;
  Result<std::vector<std::uint8_t>> decode(std::span<const std::uint8_t> bytes,
                                           ImageSize target) override;
  std::string_view reader_name() const override { return "Perchkin"; }

 private:
  std::uint64_t max_pixels_;
};

}  // namespace perchkin
