// Image shrinking by area averaging. Kept apart from the rest of the wear images because the
// system layer's decoders call it, and the system layer links only platform-free helpers.
#include "wear/wear_image.h"

#include <algorithm>

namespace perchkin {

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

}  // namespace perchkin
