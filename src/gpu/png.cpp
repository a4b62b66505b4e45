#include "gpu/png.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <fstream>

namespace perchkin {

namespace {

constexpr std::array<std::uint32_t, 256> make_crc_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = make_crc_table();

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void put_chunk(std::vector<std::uint8_t>& out, const char type[5], std::span<const std::uint8_t> data) {
  put_u32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t type_at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put_u32(out, crc32(std::span<const std::uint8_t>(out).subspan(type_at)));
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) c = kCrcTable[(c ^ b) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(std::span<const std::uint8_t> bytes) {
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  // 5552 bytes is the longest run before the sums can overflow 32 bits.
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t end = std::min(bytes.size(), i + 5552);
    for (; i < end; ++i) {
      a += bytes[i];
      b += a;
    }
    a %= 65521u;
    b %= 65521u;
  }
  return (b << 16) | a;
}

std::vector<std::uint8_t> encode_png(const RgbaImage& image) {
  const std::size_t width = static_cast<std::size_t>(std::max(image.width, 0));
  const std::size_t height = static_cast<std::size_t>(std::max(image.height, 0));
  const bool complete = image.pixels.size() >= width * height * 4;

  // Raw scanlines: filter byte 0 (none), then straight-alpha RGBA.
  std::vector<std::uint8_t> raw;
  raw.reserve(height * (width * 4 + 1));
  for (std::size_t y = 0; y < height; ++y) {
    raw.push_back(0);
    for (std::size_t x = 0; x < width; ++x) {
      std::uint8_t px[4] = {0, 0, 0, 0};
      if (complete) std::copy_n(image.pixels.data() + (y * width + x) * 4, 4, px);
      const unsigned a = px[3];
      for (int c = 0; c < 3; ++c) {
        raw.push_back(a == 0 ? 0 : static_cast<std::uint8_t>(std::min(255u, (px[c] * 255u + a / 2) / a)));
      }
      raw.push_back(px[3]);
    }
  }

  // zlib stream of stored blocks: header, blocks of at most 65535 bytes, Adler-32.
  std::vector<std::uint8_t> z = {0x78, 0x01};
  std::size_t at = 0;
  do {
    const std::size_t len = std::min<std::size_t>(65535, raw.size() - at);
    const bool last = at + len == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<std::uint8_t>(len));
    z.push_back(static_cast<std::uint8_t>(len >> 8));
    z.push_back(static_cast<std::uint8_t>(~len));
    z.push_back(static_cast<std::uint8_t>(~len >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + len));
    at += len;
  } while (at < raw.size());
  put_u32(z, adler32(raw));

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  put_u32(header, static_cast<std::uint32_t>(width));
  put_u32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
  put_chunk(out, "IHDR", header);
  constexpr std::size_t kChunk = 1u << 20;
  for (std::size_t i = 0; i < z.size(); i += kChunk) {
    put_chunk(out, "IDAT", std::span<const std::uint8_t>(z).subspan(i, std::min(kChunk, z.size() - i)));
  }
  put_chunk(out, "IEND", {});
  return out;
}

Status write_png(const std::string& path, const RgbaImage& image) {
  const std::vector<std::uint8_t> bytes = encode_png(image);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return Status::fail("could not open " + path);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) return Status::fail("could not write " + path);
  return Status::success();
}

}  // namespace perchkin
