#include "wear/wear_backend.h"
#include "wear/wear_image.h"

namespace perchkin {

namespace {

struct FakeHeader {
  ImageSize size;
  std::span<const std::uint8_t> rgba;
};

Result<FakeHeader> read_fake(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 8 || bytes[0] != 'T' || bytes[1] != 'E' || bytes[2] != 'S' || bytes[3] != 'T')
    return Result<FakeHeader>::fail("not an image");
  FakeHeader h;
  h.size.width = bytes[4] | (bytes[5] << 8);
  h.size.height = bytes[6] | (bytes[7] << 8);
  h.rgba = bytes.subspan(8);
  return Result<FakeHeader>::success(h);
}

}  // namespace

Result<ImageSize> FakeImageDecoder::probe(std::span<const std::uint8_t> bytes) {
  Result<FakeHeader> h = read_fake(bytes);
  if (!h.ok()) return h.status();
  return Result<ImageSize>::success(h->size);
}

Result<std::vector<std::uint8_t>> FakeImageDecoder::decode(std::span<const std::uint8_t> bytes,
                                                           ImageSize target) {
  Result<FakeHeader> h = read_fake(bytes);
  if (!h.ok()) return h.status();
  if (h->rgba.size() / 4 / std::max<std::size_t>(1, h->size.width) < h->size.height)
    return Result<std::vector<std::uint8_t>>::fail("truncated");
  std::vector<std::uint8_t> out = shrink_to_premultiplied_bgra(h->rgba, h->size, target);
  if (out.empty()) return Result<std::vector<std::uint8_t>>::fail("bad size");
  return Result<std::vector<std::uint8_t>>::success(std::move(out));
}

std::vector<std::uint8_t> fake_image_bytes(ImageSize size, std::span<const std::uint8_t> rgba) {
  std::vector<std::uint8_t> out = {'T', 'E', 'S', 'T'};
  for (std::uint32_t v : {size.width, size.height}) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
  }
  out.insert(out.end(), rgba.begin(), rgba.end());
  return out;
}

}  // namespace perchkin
