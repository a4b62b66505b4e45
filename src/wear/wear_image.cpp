#include "wear/wear_image.h"

#include "settings/files.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace perchkin {

std::string wear_read_failure(std::string_view reader, std::string_view error) {
  std::string text(reader);
  text += " couldn't read that image (";
  text += error;
  text += ").";
  return text;
}

ImageSize wear_target_size(ImageSize source) {
  const std::uint32_t longer = std::max(source.width, source.height);
  if (longer == 0) return {1, 1};
  const float s = std::min(static_cast<float>(kWearSide) / static_cast<float>(longer), 1.0f);
  auto side = [s](std::uint32_t v) {
    const float scaled = std::round(static_cast<float>(v) * s);
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(scaled));
  };
  return {side(source.width), side(source.height)};
}

std::optional<PixelBox> visible_box(std::span<const std::uint8_t> bgra, ImageSize size) {
  if (bgra.size() / 4 / std::max<std::uint64_t>(1, size.width) < size.height) return std::nullopt;
  std::optional<PixelBox> box;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    const std::uint8_t* row = bgra.data() + std::size_t{y} * size.width * 4;
    for (std::uint32_t x = 0; x < size.width; ++x) {
      if (row[x * 4 + 3] <= kVisibleAlpha) continue;
      if (!box) {
        box = PixelBox{x, y, x + 1, y + 1};
        continue;
      }
      box->left = std::min(box->left, x);
      box->right = std::max(box->right, x + 1);
      box->bottom = y + 1;
    }
  }
  return box;
}

std::vector<std::uint8_t> crop_bgra(std::span<const std::uint8_t> bgra, ImageSize size,
                                    const PixelBox& box) {
  std::vector<std::uint8_t> out;
  if (box.right <= box.left || box.bottom <= box.top || box.right > size.width ||
      box.bottom > size.height || bgra.size() / 4 / std::max<std::uint64_t>(1, size.width) < size.height)
    return out;
  const std::size_t row_bytes = std::size_t{box.right - box.left} * 4;
  out.reserve(row_bytes * (box.bottom - box.top));
  for (std::uint32_t y = box.top; y < box.bottom; ++y) {
    const auto* row = bgra.data() + (std::size_t{y} * size.width + box.left) * 4;
    out.insert(out.end(), row, row + row_bytes);
  }
  return out;
}

std::uint64_t bitmap_content_id(int width, int height, std::span<const std::uint8_t> bgra) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  auto mix = [&hash](std::uint8_t byte) {
    hash ^= byte;
    hash *= 0x100000001b3ull;
  };
  for (int v : {width, height})
    for (int shift = 0; shift < 32; shift += 8) mix(static_cast<std::uint8_t>(static_cast<unsigned>(v) >> shift));
  for (std::uint8_t byte : bgra) mix(byte);
  return hash;
}

Result<WearImage> decode_wear_bytes(ImageDecoder& decoder, std::span<const std::uint8_t> bytes,
                                    std::string name) {
  if (bytes.size() > kMaxWearFileBytes)
    return Result<WearImage>::fail(std::string(kWearOverSizeMessage));
  Result<ImageSize> probed = decoder.probe(bytes);
  if (!probed.ok())
    return Result<WearImage>::fail(wear_read_failure(decoder.reader_name(), probed.error));
  const ImageSize source = *probed;
  if (source.width == 0 || source.height == 0 || source.width > kMaxWearSourceSide ||
      source.height > kMaxWearSourceSide)
    return Result<WearImage>::fail(std::string(kWearTooLargeMessage));

  const ImageSize target = wear_target_size(source);
  Result<std::vector<std::uint8_t>> pixels = decoder.decode(bytes, target);
  if (!pixels.ok())
    return Result<WearImage>::fail(wear_read_failure(decoder.reader_name(), pixels.error));
  if (pixels->size() != std::size_t{target.width} * target.height * 4)
    return Result<WearImage>::fail(
        wear_read_failure(decoder.reader_name(), "the pixels came out the wrong size"));

  const std::optional<PixelBox> box = visible_box(*pixels, target);
  if (!box) return Result<WearImage>::fail(std::string(kWearTransparentMessage));

  WearImage image;
  image.name = std::move(name);
  image.bitmap.width = static_cast<int>(box->right - box->left);
  image.bitmap.height = static_cast<int>(box->bottom - box->top);
  image.bitmap.bgra = crop_bgra(*pixels, target, *box);
  image.bitmap.id = bitmap_content_id(image.bitmap.width, image.bitmap.height, image.bitmap.bgra);
  return Result<WearImage>::success(std::move(image));
}

Result<WearImage> decode_wear_file(ImageDecoder& decoder, const std::filesystem::path& path,
                                   std::string name, std::string* bytes_out) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Result<WearImage>::fail(wear_read_failure(decoder.reader_name(), ec.message()));
  if (size > kMaxWearFileBytes) return Result<WearImage>::fail(std::string(kWearOverSizeMessage));
  // The file may have grown since its size was read; the read stops at the same limit.
  Result<std::string> data = read_file(path, kMaxWearFileBytes);
  if (!data.ok())
    return Result<WearImage>::fail(
        wear_read_failure(decoder.reader_name(), "the file could not be read"));
  const auto* begin = reinterpret_cast<const std::uint8_t*>(data->data());
  Result<WearImage> image = decode_wear_bytes(decoder, {begin, data->size()}, std::move(name));
  if (bytes_out && image.ok()) *bytes_out = std::move(*data);
  return image;
}

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool keeps_in_stem(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

}  // namespace

std::optional<std::string> wear_extension(std::string_view file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string ext;
  for (char c : file_name.substr(dot + 1)) ext += ascii_lower(c);
  for (std::string_view known : {"png", "jpg", "jpeg", "bmp", "gif", "webp"})
    if (ext == known) return ext;
  return std::nullopt;
}

std::optional<std::string> wear_copy_name(std::string_view file_name, std::int64_t unix_ms) {
  std::optional<std::string> ext = wear_extension(file_name);
  if (!ext) return std::nullopt;
  const std::string_view stem = file_name.substr(0, file_name.rfind('.'));
  std::string kept;
  for (char c : stem) {
    if (!keeps_in_stem(c)) continue;
    kept += c;
    if (kept.size() == 40) break;
  }
  if (kept.empty()) kept = "image";
  return std::to_string(std::max<std::int64_t>(0, unix_ms)) + "-" + kept + "." + *ext;
}

bool is_plain_wear_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

}  // namespace perchkin
