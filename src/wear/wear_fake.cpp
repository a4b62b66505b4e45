#include "wear/wear_backend.h"

namespace perchkin {

Result<DecodedImage> FakeImageDecoder::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 6 || bytes[0] != 'T' || bytes[1] != 'E' || bytes[2] != 'S' || bytes[3] != 'T')
    return Result<DecodedImage>::fail("not an image");
  DecodedImage img;
  img.width = bytes[4];
  img.height = bytes[5];
  const std::size_t need = static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height) * 4;
  if (bytes.size() - 6 < need) return Result<DecodedImage>::fail("not an image");
  img.rgba.assign(bytes.begin() + 6, bytes.begin() + 6 + static_cast<long>(need));
  return Result<DecodedImage>::success(std::move(img));
}

}  // namespace perchkin
