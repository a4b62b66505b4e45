// The body frames are kept as text so a change to the art reads like the drawing it is.
#include "sprites/frames.h"

#include <algorithm>
#include <cstddef>

namespace perchkin {

namespace {

constexpr std::array<FrameText, kFrameCount> kFrames = {{
    // 0: idle
    {{"................", "................", "..############..", "..##o######o##..", "####o######o####",
      "################", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 1: idle blink
    {{"................", "................", "..############..", "..############..", "####oo####oo####",
      "################", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 2: idle with the idle-pose flag
    {{"................", "................", "..##o######o##..", "..##o######o##..", "################",
      "################", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 3: walk, chase (first)
    {{"................", "................", "..############..", "..##o######o##..", "####o######o####",
      "################", "..############..", "..############..", "...#.#....#.#...", "...#......#....."}},
    // 4: walk, chase (second)
    {{"................", "................", "..############..", "..##o######o##..", "####o######o####",
      "################", "..############..", "..############..", "...#.#....#.#...", ".....#......#..."}},
    // 5: sit
    {{"................", "................", "................", "................", "..############..",
      "..##o######o##..", "####o######o####", "################", "..############..", "..############.."}},
    // 6: type (first)
    {{"................", "................", "................", "................", "..############..",
      "..##o######o##..", "..##o######o####", ".###############", "##############..", "#.############.."}},
    // 7: type (second)
    {{"................", "................", "................", "................", "..############..",
      "..##o######o##..", "####o######o##..", "###############.", "..##############", "..############.#"}},
    // 8: sleep
    {{"................", "................", "................", "................", "..############..",
      "..############..", "..##oo####oo##..", "..############..", "..############..", "..############.."}},
    // 9: act "wave" (first)
    {{"..............##", "..............##", "..#############.", "..##o######o##..", "####o######o##..",
      "##############..", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 10: act "wave" (second)
    {{"................", "................", "..############..", "..##o######o##..", "###o#o####o#o###",
      "################", "..#b########b#..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 11: acts "dance", "celebrate" (first)
    {{"##..............", "##..............", ".#############..", "..##o######o##..", "..#o#o####o#o#..",
      "..#############.", "..#b########b###", "..############.#", "...#.#....#.#...", "...#......#....."}},
    // 12: acts "dance", "celebrate" (second)
    {{"..............##", "..............##", "..#############.", "..##o######o##..", "..#o#o####o#o#..",
      ".#############..", "###b########b#..", "#.############..", "...#.#....#.#...", ".....#......#..."}},
    // 13: act "happy"
    {{"##............##", "##............##", ".##############.", "..##o######o##..", "..#o#o####o#o#..",
      "..############..", "..#b########b#..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 14: act "squat"
    {{"................", "................", "................", "..############..", "..##o######o##..",
      "..##o######o##..", ".##############.", "################", "#.############.#", "...#.#....#.#..."}},
    // 15: act "spin"; hop
    {{"##............##", "##............##", ".##############.", "..##o######o##..", "..#o#o####o#o#..",
      "..############..", "..#b########b#..", "..############..", "...#.#....#.#...", "................"}},
    // 16: fall, slide
    {{"##............##", "##............##", ".##############.", "..##oo####oo##..", "..##oo####oo##..",
      "..############..", "..############..", "..############..", "..#..#....#..#..", "..#..#....#..#.."}},
    // 17: held (first)
    {{"##............##", "##............##", ".##############.", "..##oo####oo##..", "..##oo####oo##..",
      "..############..", "..############..", "..############..", "..#..#....#..#..", "..#.......#....."}},
    // 18: held (second)
    {{"##............##", "##............##", ".##############.", "..##oo####oo##..", "..##oo####oo##..",
      "..############..", "..############..", "..############..", "..#..#....#..#..", ".....#.......#.."}},
    // 19: drawing
    {{"##..............", "##..............", ".#############..", "..##o######o##..", "..#o#o####o#o###",
      "..##############", "..#b########b#..", "..############..", "...#.#....#.#...", "................"}},
    // 20: act "dizzy"
    {{"................", "................", "..############..", "..#o#o####o#o#..", "..##o######o##..",
      ".##o#o####o#o##.", "################", "#.############.#", "...#.#....#.#...", "...#.#....#.#..."}},
    // 21: act "angry" (first)
    {{"##..............", "##..............", ".#############..", "..#o########o#..", "..##oo####oo####",
      "..##############", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 22: act "angry" (second)
    {{"..............##", "..............##", "..#############.", "..#o########o#..", "####oo####oo##..",
      "##############..", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 23: act "love"
    {{"................", "................", "..############..", "..#h#h####h#h#..", "..#hhh####hhh#..",
      ".###h######h###.", "###b########b###", "#.############.#", "...#.#....#.#...", "...#.#....#.#..."}},
    // 24: act "think"
    {{"..............##", "..............##", "..##o######o###.", "..##o######o##..", "##############..",
      "##############..", "..############..", "..############..", "...#.#....#.#...", "...#.#....#.#..."}},
    // 25: act "scared"
    {{"##............##", "##............##", ".##############.", "..##oo####oo##..", "..##oo####oo##..",
      "..############..", "..############..", "..############..", "...#.#....#.#...", "................"}},
}};

constexpr FrameText kEmptyFrame = {"................", "................", "................",
                                   "................", "................", "................",
                                   "................", "................", "................",
                                   "................"};

std::uint8_t code_of(char c) {
  switch (c) {
    case '#': return kCellBody;
    case 'o': return kCellEye;
    case 'b': return kCellBlush;
    case 'h': return kCellHeartEye;
    default: return kCellClear;
  }
}

// One 9-tap box blur along a line of `count` values spaced `stride` apart; outside counts as 0.
void blur_line(std::uint16_t* line, int count, int stride, std::vector<std::uint32_t>& scratch) {
  scratch.assign(static_cast<std::size_t>(count), 0);
  for (int i = 0; i < count; ++i) scratch[static_cast<std::size_t>(i)] = line[i * stride];
  for (int i = 0; i < count; ++i) {
    std::uint32_t sum = 0;
    for (int k = i - 4; k <= i + 4; ++k) {
      if (k >= 0 && k < count) sum += scratch[static_cast<std::size_t>(k)];
    }
    line[i * stride] = static_cast<std::uint16_t>(sum / 9);
  }
}

}  // namespace

const FrameText& frame_text(int frame) {
  if (frame < 0 || frame >= kFrameCount) return kEmptyFrame;
  return kFrames[static_cast<std::size_t>(frame)];
}

std::uint8_t frame_cell(int frame, int column, int row) {
  if (column < 0 || column >= kFrameColumns || row < 0 || row >= kFrameRows) return kCellClear;
  const FrameText& text = frame_text(frame);
  return code_of(text[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
}

FrameCells frame_cells(int frame, bool mirrored) {
  FrameCells cells{};
  for (int row = 0; row < kFrameRows; ++row) {
    for (int col = 0; col < kFrameColumns; ++col) {
      const int source = mirrored ? kFrameColumns - 1 - col : col;
      cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = frame_cell(frame, source, row);
    }
  }
  return cells;
}

int head_top_row(int frame) {
  if (frame == 14) return 3;               // squat
  if (frame >= 5 && frame <= 8) return 4;  // sit, type and sleep draw the body lower
  return 2;
}

std::vector<std::uint8_t> build_atlas() {
  std::vector<std::uint8_t> atlas(static_cast<std::size_t>(kAtlasWidth * kAtlasHeight), kCellClear);
  for (int f = 0; f < kFrameCount; ++f) {
    for (int row = 0; row < kFrameRows; ++row) {
      for (int col = 0; col < kFrameColumns; ++col) {
        atlas[static_cast<std::size_t>(row * kAtlasWidth + f * kFrameColumns + col)] = frame_cell(f, col, row);
      }
    }
  }
  return atlas;
}

std::vector<std::uint8_t> build_halo(const std::vector<std::uint8_t>& atlas) {
  std::vector<std::uint8_t> halo(static_cast<std::size_t>(kHaloWidth * kHaloHeight), 0);
  if (atlas.size() != static_cast<std::size_t>(kAtlasWidth * kAtlasHeight)) return halo;

  std::vector<std::uint16_t> grid(static_cast<std::size_t>(kHaloCellWidth * kHaloCellHeight));
  std::vector<std::uint32_t> scratch;
  for (int f = 0; f < kFrameCount; ++f) {
    std::fill(grid.begin(), grid.end(), std::uint16_t{0});
    for (int y = 0; y < kFrameRows; ++y) {
      for (int x = 0; x < kFrameColumns; ++x) {
        if (atlas[static_cast<std::size_t>(y * kAtlasWidth + f * kFrameColumns + x)] == kCellClear) continue;
        for (int by = 0; by < kHaloScale; ++by) {
          for (int bx = 0; bx < kHaloScale; ++bx) {
            const int gx = kHaloMargin + kHaloScale * x + bx;
            const int gy = kHaloMargin + kHaloScale * y + by;
            grid[static_cast<std::size_t>(gy * kHaloCellWidth + gx)] = 65535;
          }
        }
      }
    }
    for (int round = 0; round < 3; ++round) {
      for (int y = 0; y < kHaloCellHeight; ++y) blur_line(&grid[static_cast<std::size_t>(y * kHaloCellWidth)], kHaloCellWidth, 1, scratch);
      for (int x = 0; x < kHaloCellWidth; ++x) blur_line(&grid[static_cast<std::size_t>(x)], kHaloCellHeight, kHaloCellWidth, scratch);
    }
    for (int y = 0; y < kHaloCellHeight; ++y) {
      for (int x = 0; x < kHaloCellWidth; ++x) {
        halo[static_cast<std::size_t>(y * kHaloWidth + f * kHaloCellWidth + x)] =
            static_cast<std::uint8_t>(grid[static_cast<std::size_t>(y * kHaloCellWidth + x)] >> 8);
      }
    }
  }
  return halo;
}

SpriteTextures build_sprite_textures() {
  SpriteTextures textures;
  textures.atlas = build_atlas();
  textures.halo = build_halo(textures.atlas);
  return textures;
}

}  // namespace perchkin
