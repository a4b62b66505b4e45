// Developer tool: draws every body frame in every crew colour and body pattern (plus the charred
// look) through the CPU reference rasterizer and writes one PNG, to look at the crab without a
// display.
//
//   sprite_sheet [output.png] [--unit N] [--glow STRENGTH]
//
// Columns are frames 0-25; rows are the ten colours in solid, gradient, stripes and spots, then
// one charred row.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "gpu/instance.h"
#include "gpu/png.h"
#include "gpu/raster_cpu.h"
#include "base/text.h"
#include "sprites/frames.h"

namespace {

using namespace perchkin;

constexpr std::array<std::uint32_t, 10> kColours = {0xD77757, 0x5B8DEF, 0x5DBB63, 0x9B6BDF, 0xE86FA6,
                                                    0xE8B73A, 0x3FB8AF, 0xD9534F, 0xE8E4DC, 0x3A3A3A};

Float3 to_float3(std::uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f, static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
          static_cast<float>(rgb & 0xFF) / 255.0f};
}

BuddyInstance sheet_instance(std::uint32_t rgb, int pattern, int frame, float unit) {
  BuddyInstance in;
  in.unit = unit;
  in.frame = static_cast<float>(frame);
  in.shadow = 1.0f;
  in.tint = to_float3(rgb);
  // A dark body gets light eyes.
  in.eye = 0.3f * in.tint.r + 0.59f * in.tint.g + 0.11f * in.tint.b < 0.3f ? 1.0f : 26.0f / 255.0f;
  in.tint2 = {in.tint.r * 0.7f, in.tint.g * 0.7f, in.tint.b * 0.7f};
  in.pattern = static_cast<float>(pattern);
  return in;
}

int usage() {
  std::fputs("usage: sprite_sheet [output.png] [--unit N (1-16)] [--glow STRENGTH (0-2.5)]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output = "sprite_sheet.png";
  int unit = 3;
  float glow = 0.0f;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--unit" && i + 1 < argc) {
      const auto n = parse_unsigned(argv[++i]);
      if (!n || *n < 1 || *n > 16) return usage();
      unit = static_cast<int>(*n);
    } else if (arg == "--glow" && i + 1 < argc) {
      const auto g = parse_double(argv[++i]);
      if (!g || !(*g >= 0.0 && *g <= 2.5)) return usage();
      glow = static_cast<float>(*g);
    } else if (!arg.empty() && arg[0] != '-') {
      output = arg;
    } else {
      return usage();
    }
  }

  // Each cell holds the glow quad: 24 x 18 cells, feet 14 cells down.
  const int cell_w = 24 * unit;
  const int cell_h = 18 * unit;
  const int rows = static_cast<int>(kColours.size()) * 4 + 1;
  RgbaImage image = make_image(kFrameCount * cell_w, rows * cell_h);

  // Bands of grey tell the four patterns apart.
  const std::array<float, 5> band = {0.86f, 0.78f, 0.86f, 0.78f, 0.95f};
  for (int row = 0; row < rows; ++row) {
    const float g = band[static_cast<std::size_t>(row / static_cast<int>(kColours.size()))];
    for (int y = row * cell_h; y < (row + 1) * cell_h; ++y) {
      for (int x = 0; x < image.width; ++x) {
        std::uint8_t* px = &image.pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 4];
        px[0] = px[1] = px[2] = static_cast<std::uint8_t>(g * 255.0f);
        px[3] = 255;
      }
    }
  }

  std::vector<BuddyInstance> instances;
  for (int row = 0; row < rows; ++row) {
    for (int f = 0; f < kFrameCount; ++f) {
      BuddyInstance in;
      if (row < rows - 1) {
        const int pattern = row / static_cast<int>(kColours.size());
        in = sheet_instance(kColours[static_cast<std::size_t>(row) % kColours.size()], pattern, f, static_cast<float>(unit));
      } else {
        in = sheet_instance(0, 0, f, static_cast<float>(unit));
        in.tint = kCharredTint;
        in.eye = 1.0f;
      }
      in.pos = {static_cast<float>(f * cell_w + cell_w / 2), static_cast<float>(row * cell_h + 14 * unit)};
      instances.push_back(in);
    }
  }

  Frame frame;
  frame.screen = {static_cast<float>(image.width), static_cast<float>(image.height)};
  frame.glow = glow;
  draw_instances(image, frame, instances, build_sprite_textures());

  const Status written = write_png(output, image);
  if (!written.ok()) {
    std::fprintf(stderr, "%s\n", written.error.c_str());
    return 1;
  }
  std::printf("%s: %d x %d, %d frames x %d rows\n", output.c_str(), image.width, image.height, kFrameCount, rows);
  return 0;
}
