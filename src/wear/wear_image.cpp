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

namespace {

// How source pixels along one axis split between target pixels. Source pixel i spans
// [i * to, (i + 1) * to) and target pixel k spans [k * from, (k + 1) * from) on a common scale;
// as the target is not larger, a source pixel touches at most two target pixels.
struct AxisSplit {
  std::vector<std::uint32_t> first;   // target index of the first part
  std::vector<std::uint32_t> weight;  // the first part's share; `to` - weight goes to first + 1
};

AxisSplit split_axis(std::uint32_t from, std::uint32_t to) {
  AxisSplit split;
  split.first.resize(from);
  split.weight.resize(from);
  for (std::uint32_t i = 0; i < from; ++i) {
    const std::uint64_t start = std::uint64_t{i} * to;
    const auto k = static_cast<std::uint32_t>(start / from);
    const std::uint64_t boundary = std::uint64_t{k + 1} * from;
    const std::uint64_t end = start + to;
    split.first[i] = k;
    split.weight[i] = static_cast<std::uint32_t>(std::min(end, boundary) - start);
  }
  return split;
}

}  // namespace

std::vector<std::uint8_t> shrink_to_premultiplied_bgra(std::span<const std::uint8_t> rgba,
                                                       ImageSize from, ImageSize to) {
  const std::uint64_t w = from.width, h = from.height;
  if (w == 0 || h == 0 || to.width == 0 || to.height == 0 || to.width > from.width ||
      to.height > from.height || rgba.size() / 4 / w < h)
    return {};
  const std::uint32_t tw = to.width, th = to.height;
  const AxisSplit xs = split_axis(from.width, tw);
  const AxisSplit ys = split_axis(from.height, th);

  // Sums of colour * alpha * coverage (colour channels) and alpha * coverage, so each channel
  // is rounded once at the end. The largest sum, 255 * 255 * 12000 * 12000, fits 64 bits.
  std::vector<std::uint64_t> acc(std::size_t{tw} * th * 4, 0);
  std::vector<std::uint64_t> row(std::size_t{tw} * 4);
  for (std::uint32_t y = 0; y < from.height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    const std::uint8_t* src = rgba.data() + std::size_t{y} * w * 4;
    for (std::uint32_t x = 0; x < from.width; ++x) {
      const std::uint64_t a = src[x * 4 + 3];
      const std::uint64_t px[4] = {src[x * 4 + 2] * a, src[x * 4 + 1] * a, src[x * 4] * a, a};
      const std::uint32_t k = xs.first[x];
      const std::uint64_t w0 = xs.weight[x], w1 = tw - w0;
      for (int c = 0; c < 4; ++c) row[std::size_t{k} * 4 + c] += px[c] * w0;
      if (w1 != 0)
        for (int c = 0; c < 4; ++c) row[std::size_t{k + 1} * 4 + c] += px[c] * w1;
    }
    const std::uint32_t k = ys.first[y];
    const std::uint64_t w0 = ys.weight[y], w1 = th - w0;
    std::uint64_t* dst0 = acc.data() + std::size_t{k} * tw * 4;
    for (std::size_t i = 0; i < row.size(); ++i) dst0[i] += row[i] * w0;
    if (w1 != 0) {
      std::uint64_t* dst1 = dst0 + std::size_t{tw} * 4;
      for (std::size_t i = 0; i < row.size(); ++i) dst1[i] += row[i] * w1;
    }
  }

  // Each target pixel's weights add up to w * h (both axes' shares add up to the source size).
  const std::uint64_t area = w * h;
  std::vector<std::uint8_t> out(acc.size());
  for (std::size_t i = 0; i < acc.size(); i += 4) {
    for (int c = 0; c < 3; ++c)
      out[i + c] = static_cast<std::uint8_t>((acc[i + c] * 2 + area * 255) / (area * 510));
    out[i + 3] = static_cast<std::uint8_t>((acc[i + 3] * 2 + area) / (area * 2));
  }
  return out;
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
