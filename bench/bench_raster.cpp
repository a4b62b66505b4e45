// Reference rasterizer and tile marking at crowd scale: 1,000 buddies at size 9 into a
// 1920 x 1080 buffer (target: under 50 ms a frame), and marking 10,000 buddies' boxes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "crowd/rng.h"
#include "gpu/instance.h"
#include "gpu/raster_cpu.h"
#include "region/tile_grid.h"
#include "sprites/frames.h"

namespace {

using namespace perchkin;

// A fixed crowd spread over the screen, varied in frame, facing, pattern and squash.
std::vector<BuddyInstance> crowd(int count, float unit, int width, int height) {
  std::vector<BuddyInstance> list;
  Xorshift64 rng(0x9E3779B97F4A7C15ull);
  const auto next = [&rng] { return rng.uniform(); };
  for (int i = 0; i < count; ++i) {
    BuddyInstance in;
    in.pos = {static_cast<float>(static_cast<int>(next() * width)), static_cast<float>(static_cast<int>(next() * height))};
    in.unit = unit;
    in.sy = 0.6f + 0.04f * static_cast<float>(static_cast<int>(next() * 21));
    in.frame = static_cast<float>(i % kFrameCount);
    in.flip = (i % 2) ? 1.0f : 0.0f;
    in.eye = 26.0f / 255.0f;
    in.tint = {0.84f, 0.47f, 0.34f};
    in.tint2 = {0.59f, 0.33f, 0.24f};
    in.shadow = 1.0f;
    in.pattern = static_cast<float>(i % 4);
    list.push_back(in);
  }
  return list;
}

void draw_crowd(benchmark::State& state, float glow, float angle) {
  const SpriteTextures textures = build_sprite_textures();
  std::vector<BuddyInstance> list = crowd(static_cast<int>(state.range(0)), 9.0f, 1920, 1080);
  for (BuddyInstance& in : list) in.angle = angle;
  RgbaImage image = make_image(1920, 1080);
  Frame frame;
  frame.screen = {1920.0f, 1080.0f};
  frame.glow = glow;
  for (auto _ : state) {
    std::fill(image.pixels.begin(), image.pixels.end(), std::uint8_t{0});
    draw_instances(image, frame, list, textures);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_RasterBuddies(benchmark::State& state) { draw_crowd(state, 0.0f, 0.0f); }
void BM_RasterBuddiesGlow(benchmark::State& state) { draw_crowd(state, 1.0f, 0.0f); }
void BM_RasterBuddiesTurned(benchmark::State& state) { draw_crowd(state, 0.0f, 0.2617994f); }

// The software presenter's way: into BGRA memory, with the mask that lets bodies hide what
// lies under them; every other buddy turned, as in a tumbling crowd.
void BM_RasterBuddiesMasked(benchmark::State& state) {
  const SpriteTextures textures = build_sprite_textures();
  std::vector<BuddyInstance> list = crowd(static_cast<int>(state.range(0)), 9.0f, 1920, 1080);
  if (state.range(1) != 2) for (std::size_t i = 0; i < list.size(); i += 2) list[i].angle = 0.2617994f;
  std::vector<std::uint8_t> pixels(1920 * 1080 * 4), covered(1920 * 1080);
  const PixelTarget target{pixels.data(), 1920, 1080, 1920 * 4, true,
                           state.range(1) != 0 ? covered.data() : nullptr};
  const PixelRect all{0, 0, 1920, 1080};
  Frame frame;
  frame.screen = {1920.0f, 1080.0f};
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), std::uint8_t{0});
    draw_instances(target, frame, list, textures, {&all, 1});
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A frame as the unleashed crew draws it at 1920 x 1080: 1,000 standing buddies at size 9 in
// rows on two ledges and the floor, each about 30 deep, redrawn inside the dirty rectangles of
// a frame where they all walk; the software presenter's BGRA memory and mask.
void BM_RasterLedgeCrowd(benchmark::State& state) {
  const SpriteTextures textures = build_sprite_textures();
  std::vector<BuddyInstance> list = crowd(1000, 9.0f, 1920, 1080);
  Xorshift64 rng(0x2545F4914F6CDD1Dull);
  const auto next = [&rng] { return rng.uniform(); };
  for (std::size_t i = 0; i < list.size(); ++i) {
    BuddyInstance& in = list[i];
    const double pick = next();
    // Whole pixels, as the crew places them; only those on the floor cast a shadow.
    if (pick < 0.4) in.pos = {std::floor(static_cast<float>(next() * 1904.0)), 849.0f};
    else if (pick < 0.535) in.pos = {std::floor(static_cast<float>(1269.0 + next() * 621.0)), 939.0f};
    else in.pos = {std::floor(static_cast<float>(next() * 1920.0)), 1080.0f};
    in.shadow = in.pos.y == 1080.0f ? 1.0f : 0.0f;
    in.sy = next() < 0.5 ? 1.0f : 0.96f;
    in.frame = static_cast<float>(static_cast<int>(next() * kFrameCount));
    if (state.range(0) != 0 && i % 4 == 0) in.angle = 0.2617994f;
  }
  const std::vector<PixelRect> clips = {
      {0, 752, 1920, 864},   {1184, 864, 1920, 928}, {0, 928, 48, 944},   {112, 928, 256, 944},
      {288, 928, 448, 944},  {496, 928, 592, 944},   {736, 928, 912, 944}, {960, 928, 1920, 944},
      {0, 944, 1920, 1080}};
  std::vector<std::uint8_t> pixels(1920 * 1080 * 4), covered(1920 * 1080);
  const PixelTarget target{pixels.data(), 1920, 1080, 1920 * 4, true, covered.data()};
  Frame frame;
  frame.screen = {1920.0f, 1080.0f};
  // With range(1) > 1, drawn as that many bands one after the other, as the presenter's two
  // threads share them: the difference is what cutting into bands costs.
  const int parts = static_cast<int>(state.range(1));
  std::vector<PixelRect> band;
  for (auto _ : state) {
    if (parts <= 1) {
      draw_instances(target, frame, list, textures, clips);
    } else {
      const std::vector<int> edges = row_bands(frame, list, clips, 1080, parts);
      for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
        band.clear();
        for (const PixelRect& r : clips)
          band.push_back({r.left, std::max(r.top, edges[k]), r.right, std::min(r.bottom, edges[k + 1])});
        draw_instances(target, frame, list, textures, band);
      }
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_MarkTiles(benchmark::State& state) {
  const std::vector<BuddyInstance> list = crowd(static_cast<int>(state.range(0)), 2.0f, 3840, 2160);
  for (auto _ : state) {
    TileGrid grid = new_grid(3840, 2160);
    for (const BuddyInstance& in : list) {
      const float k = 24.0f * in.unit;
      const float cy = in.pos.y - 5.0f * in.unit;
      mark(grid, in.pos.x - k, cy - k, in.pos.x + k, cy + k);
    }
    benchmark::DoNotOptimize(rectangles(grid));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SpriteTextures(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(build_sprite_textures());
}

}  // namespace

BENCHMARK(BM_RasterBuddies)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterBuddiesGlow)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterBuddiesTurned)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterBuddiesMasked)->Args({200, 2})->Args({1000, 0})->Args({1000, 1})->Args({1000, 2})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterLedgeCrowd)->Args({0, 1})->Args({1, 1})->Args({0, 6})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkTiles)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpriteTextures)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
