// Custom hat and glasses images: the decoding rules shared by every platform (limits, the
// shrink to at most 256 pixels a side, cropping to the visible pixels) and the names of the
// copies kept in the wear folder.
#pragma once

#include "base/status.h"
#include "gpu/canvas.h"
#include "wear/wear_backend.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

inline constexpr std::uintmax_t kMaxWearFileBytes = 20u * 1024u * 1024u;
inline constexpr std::uint32_t kMaxWearSourceSide = 12000;
inline constexpr std::uint32_t kWearSide = 256;       // longer side after shrinking
inline constexpr std::uint8_t kVisibleAlpha = 8;      // alpha above this counts as visible

inline constexpr std::string_view kWearOverSizeMessage = "That image is over 20 MB.";
inline constexpr std::string_view kWearTooLargeMessage = "That image is too large.";
inline constexpr std::string_view kWearTransparentMessage = "That image is completely transparent.";
std::string wear_read_failure(std::string_view reader, std::string_view error);

// One decoded image, immutable once made. `bitmap` holds its size and premultiplied BGRA
// pixels; its id is a hash of the content, so backends may cache an uploaded copy.
struct WearImage {
  std::string name;  // file name inside its wear folder
  CanvasBitmap bitmap;
  std::uint32_t width() const { return static_cast<std::uint32_t>(bitmap.width); }
  std::uint32_t height() const { return static_cast<std::uint32_t>(bitmap.height); }
};

// The size an image of `source` pixels is shrunk to: longer side at most 256, never enlarged,
// both sides at least 1.
ImageSize wear_target_size(ImageSize source);

// Straight RGBA of `from` to premultiplied BGRA of `to` (not larger than `from`) by area
// averaging: each target pixel is the exact mean of the source area it covers, weighted by
// coverage, computed on premultiplied values so transparent pixels lend no colour.
std::vector<std::uint8_t> shrink_to_premultiplied_bgra(std::span<const std::uint8_t> rgba,
                                                       ImageSize from, ImageSize to);

struct PixelBox {
  std::uint32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  friend bool operator==(const PixelBox&, const PixelBox&) = default;
};
// The smallest box holding every pixel whose alpha is above 8; none when all are at or below.
std::optional<PixelBox> visible_box(std::span<const std::uint8_t> bgra, ImageSize size);
std::vector<std::uint8_t> crop_bgra(std::span<const std::uint8_t> bgra, ImageSize size,
                                    const PixelBox& box);

// FNV-1a over the size and pixels.
std::uint64_t bitmap_content_id(int width, int height, std::span<const std::uint8_t> bgra);

// The whole decode after the file is read: size limits, shrink, crop. `bytes` are untrusted.
Result<WearImage> decode_wear_bytes(ImageDecoder& decoder, std::span<const std::uint8_t> bytes,
                                    std::string name);
// Reads the file (at most 20 MiB) and decodes it. The bytes read are also handed back in
// `bytes_out` when given, so a copy can be saved of exactly what was decoded.
Result<WearImage> decode_wear_file(ImageDecoder& decoder, const std::filesystem::path& path,
                                   std::string name, std::string* bytes_out = nullptr);

// The lower-cased extension when it is one of png, jpg, jpeg, bmp, gif, webp.
std::optional<std::string> wear_extension(std::string_view file_name);
// "{ms}-{stem}.{ext}": the stem keeps ASCII letters, digits, '-' and '_', at most 40 of them,
// "image" when none is left. Null when the extension is not an image's.
std::optional<std::string> wear_copy_name(std::string_view file_name, std::int64_t unix_ms);

// A name that may be joined to a wear folder: no separators, no drive colon, not "." or "..".
bool is_plain_wear_name(std::string_view name);

}  // namespace perchkin
