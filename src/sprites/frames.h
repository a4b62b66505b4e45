// The crab's 26 body frames as cell codes, and the two textures built from them: the atlas
// of codes the sprite pass reads and the blurred halo the glow pass samples.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace perchkin {

inline constexpr int kFrameCount = 26;
inline constexpr int kFrameColumns = 16;
inline constexpr int kFrameRows = 10;

// Cell codes; they carry no colour, the sprite pass colours them per buddy.
inline constexpr std::uint8_t kCellClear = 0;
inline constexpr std::uint8_t kCellBody = 1;
inline constexpr std::uint8_t kCellEye = 2;
inline constexpr std::uint8_t kCellBlush = 3;
inline constexpr std::uint8_t kCellHeartEye = 4;

// Fixed colours of the non-body cells, 0xRRGGBB (eyes take the buddy's eye grey).
inline constexpr std::uint32_t kBlushRgb = 0xF4A29A;
inline constexpr std::uint32_t kHeartEyeRgb = 0xFF4D6D;

// Atlas: frames side by side, frame f in columns 16f..16f+15, one code byte per cell.
inline constexpr int kAtlasWidth = kFrameCount * kFrameColumns;  // 416
inline constexpr int kAtlasHeight = kFrameRows;                  // 10

// Halo: per frame a 96 x 72 cell, four texels per sprite cell plus a 16-texel margin.
inline constexpr int kHaloScale = 4;
inline constexpr int kHaloMargin = 16;
inline constexpr int kHaloCellWidth = kFrameColumns * kHaloScale + 2 * kHaloMargin;  // 96
inline constexpr int kHaloCellHeight = kFrameRows * kHaloScale + 2 * kHaloMargin;    // 72
inline constexpr int kHaloWidth = kFrameCount * kHaloCellWidth;                      // 2496
inline constexpr int kHaloHeight = kHaloCellHeight;                                  // 72

using FrameCells = std::array<std::array<std::uint8_t, kFrameColumns>, kFrameRows>;
using FrameText = std::array<std::string_view, kFrameRows>;

// Rows top to bottom, facing right: '.' clear, '#' body, 'o' eye, 'b' blush, 'h' heart eye.
// An index outside 0..25 gives an empty (all clear) frame.
const FrameText& frame_text(int frame);

// Code of one cell; anything outside the frame or the frame range is clear.
std::uint8_t frame_cell(int frame, int column, int row);

// All cells of a frame, mirrored left to right when `mirrored` (a buddy facing left).
FrameCells frame_cells(int frame, bool mirrored = false);

// The row the head's top edge sits on: hats rest on it, glasses start on it.
int head_top_row(int frame);

// kAtlasWidth x kAtlasHeight codes, row-major (row pitch = kAtlasWidth bytes).
std::vector<std::uint8_t> build_atlas();

// kHaloWidth x kHaloHeight coverage bytes, row-major, built from an atlas of the size above.
// A wrongly sized atlas gives an all-zero halo rather than reading out of bounds.
std::vector<std::uint8_t> build_halo(const std::vector<std::uint8_t>& atlas);

// Both textures, built once at start-up and shared by every renderer backend.
struct SpriteTextures {
  std::vector<std::uint8_t> atlas;
  std::vector<std::uint8_t> halo;
};
SpriteTextures build_sprite_textures();

}  // namespace perchkin
