// Linux image decoding: PNG, JPEG, GIF (first frame) and BMP through stb_image, WebP through
// libwebp, then our own area-averaging shrink. Only images whose pixels fit the budget below are
// decoded in full, so a hostile file cannot ask for more memory than that.
#include "wear/decode_stb_webp.h"

#include "wear/wear_image.h"

#include <stb/stb_image.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

namespace perchkin {

namespace {

bool is_webp(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 12 && bytes[0] == 'R' && bytes[1] == 'I' && bytes[2] == 'F' &&
         bytes[3] == 'F' && bytes[8] == 'W' && bytes[9] == 'E' && bytes[10] == 'B' &&
         bytes[11] == 'P';
}

bool is_png(std::span<const std::uint8_t> bytes) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::equal(kSignature, kSignature + 8, bytes.begin());
}

// Whether every PNG chunk up to IEND (or the end of the file) fits in the file. stb_image
// reserves a chunk's declared length before reading it, so a few bytes declaring a gigabyte
// would cost a gigabyte.
bool png_chunks_fit(std::span<const std::uint8_t> bytes) {
  std::size_t at = 8;
  while (bytes.size() - at >= 8) {
    const std::uint32_t length = std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
                                 std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    // Length, type, data and checksum.
    if (length > bytes.size() - at - 8 || bytes.size() - at - 8 - length < 4) return false;
    if (std::equal(bytes.begin() + static_cast<long>(at) + 4, bytes.begin() + static_cast<long>(at) + 8,
                   "IEND"))
      return true;
    at += 12 + std::size_t{length};
  }
  return true;
}

std::string stb_reason() {
  const char* reason = stbi_failure_reason();
  return reason ? reason : "unknown failure";
}

using Pixels = Result<std::vector<std::uint8_t>>;

struct StbFree {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};
struct WebPFreeDeleter {
  void operator()(std::uint8_t* p) const { WebPFree(p); }
};
struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

}  // namespace

Result<ImageSize> PosixImageDecoder::probe(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX))
    return Result<ImageSize>::fail("the file is too big");
  int w = 0, h = 0;
  if (is_webp(bytes)) {
    if (!WebPGetInfo(bytes.data(), bytes.size(), &w, &h))
      return Result<ImageSize>::fail("not a valid WebP image");
  } else {
    int comp = 0;
    if (!stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &comp))
      return Result<ImageSize>::fail(stb_reason());
  }
  if (w < 0 || h < 0) return Result<ImageSize>::fail("bad image size");
  return Result<ImageSize>::success({static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)});
}

Result<std::vector<std::uint8_t>> PosixImageDecoder::decode(std::span<const std::uint8_t> bytes,
                                                            ImageSize target) {
  Result<ImageSize> size = probe(bytes);
  if (!size.ok()) return size.status();
  const ImageSize source = *size;
  if (source.width == 0 || source.height == 0)
    return Pixels::fail("the image has no pixels");
  if (std::uint64_t{source.width} * source.height > max_pixels_)
    return Pixels::fail("it has more than " + std::to_string(max_pixels_ / 1000000) +
                        " million pixels");
  if (target.width == 0 || target.height == 0 || target.width > source.width ||
      target.height > source.height)
    return Pixels::fail("bad target size");
  const int w = static_cast<int>(source.width), h = static_cast<int>(source.height);
  const std::size_t count = std::size_t{source.width} * source.height * 4;

  if (is_webp(bytes)) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
      return Pixels::fail("not a valid WebP image");
    if (!features.has_animation) {
      int dw = 0, dh = 0;
      std::unique_ptr<std::uint8_t, WebPFreeDeleter> rgba(
          WebPDecodeRGBA(bytes.data(), bytes.size(), &dw, &dh));
      if (!rgba) return Pixels::fail("the WebP data is damaged");
      if (dw != w || dh != h) return Pixels::fail("the WebP size does not match its header");
      return Pixels::success(shrink_to_premultiplied_bgra({rgba.get(), count}, source, target));
    }
    // An animation: its first frame, composed on the canvas.
    WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return Pixels::fail("libwebp is unusable");
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> anim(WebPAnimDecoderNew(&data, &options));
    if (!anim) return Pixels::fail("the WebP animation is damaged");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(anim.get(), &info) || info.canvas_width != source.width ||
        info.canvas_height != source.height)
      return Pixels::fail("the WebP animation is damaged");
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(anim.get(), &frame, &timestamp) || frame == nullptr)
      return Pixels::fail("the WebP animation has no frame");
    return Pixels::success(shrink_to_premultiplied_bgra({frame, count}, source, target));
  }

  if (is_png(bytes) && !png_chunks_fit(bytes))
    return Pixels::fail("a PNG chunk runs past the end of the file");
  int dw = 0, dh = 0, comp = 0;
  std::unique_ptr<stbi_uc, StbFree> rgba(
      stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &dw, &dh, &comp, 4));
  if (!rgba) return Pixels::fail(stb_reason());
  if (dw != w || dh != h) return Pixels::fail("the image size does not match its header");
  return Pixels::success(shrink_to_premultiplied_bgra({rgba.get(), count}, source, target));
}

std::unique_ptr<ImageDecoder> make_image_decoder() {
  return std::make_unique<PosixImageDecoder>();
}

}  // namespace perchkin
