#include <gtest/gtest.h>

#include <string_view>

#include "sprites/frames.h"
#include "sprites/wear.h"

namespace perchkin {
namespace {

bool has_body_in_row(int frame, int row) {
  for (int col = 0; col < kFrameColumns; ++col) {
    if (frame_cell(frame, col, row) == kCellBody) return true;
  }
  return false;
}

TEST(BodyFrames, EveryFrameIsTenRowsOfSixteenKnownCells) {
  for (int f = 0; f < kFrameCount; ++f) {
    for (std::string_view row : frame_text(f)) {
      ASSERT_EQ(row.size(), 16u) << "frame " << f;
      EXPECT_EQ(row.find_first_not_of(".#obh"), std::string_view::npos) << "frame " << f << ": " << row;
    }
  }
}

TEST(BodyFrames, EveryFrameStandsOnRowSevenSoTheShadowTouchesIt) {
  for (int f = 0; f < kFrameCount; ++f) EXPECT_TRUE(has_body_in_row(f, 7)) << "frame " << f;
}

TEST(BodyFrames, IdleFrameIsSymmetricAndWaveRaisesTheOtherClawWhenMirrored) {
  EXPECT_EQ(frame_cells(0, true), frame_cells(0, false));

  const FrameCells wave = frame_cells(9, false);
  const FrameCells mirrored = frame_cells(9, true);
  EXPECT_NE(wave, mirrored);
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(wave[row][14], kCellBody);
    EXPECT_EQ(wave[row][15], kCellBody);
    EXPECT_EQ(wave[row][0], kCellClear);
    EXPECT_EQ(mirrored[row][0], kCellBody);
    EXPECT_EQ(mirrored[row][1], kCellBody);
    EXPECT_EQ(mirrored[row][15], kCellClear);
  }
}

TEST(BodyFrames, PosesShowWhatTheyAreFor) {
  // Walking alternates the legs on the bottom row.
  EXPECT_EQ(frame_cell(3, 3, 9), kCellBody);
  EXPECT_EQ(frame_cell(3, 10, 9), kCellBody);
  EXPECT_EQ(frame_cell(3, 5, 9), kCellClear);
  EXPECT_EQ(frame_cell(4, 5, 9), kCellBody);
  EXPECT_EQ(frame_cell(4, 12, 9), kCellBody);
  EXPECT_EQ(frame_cell(4, 3, 9), kCellClear);
  // The lowered frames leave the top four rows empty.
  for (int f = 5; f <= 8; ++f) {
    for (int row = 0; row < 4; ++row) {
      for (int col = 0; col < kFrameColumns; ++col) EXPECT_EQ(frame_cell(f, col, row), kCellClear);
    }
  }
  // Blush and heart eyes appear where the moods need them.
  EXPECT_EQ(frame_cell(13, 3, 6), kCellBlush);
  EXPECT_EQ(frame_cell(23, 3, 3), kCellHeartEye);
  EXPECT_EQ(frame_cell(0, 4, 3), kCellEye);
  // The blink closes the eyes to a line on row 4.
  EXPECT_EQ(frame_cell(1, 4, 3), kCellBody);
  EXPECT_EQ(frame_cell(1, 4, 4), kCellEye);
  EXPECT_EQ(frame_cell(1, 5, 4), kCellEye);
}

TEST(BodyFrames, OutsideTheFramesEverythingIsClear) {
  EXPECT_EQ(frame_cell(-1, 4, 4), kCellClear);
  EXPECT_EQ(frame_cell(26, 4, 4), kCellClear);
  EXPECT_EQ(frame_cell(0, 16, 4), kCellClear);
  EXPECT_EQ(frame_cell(0, 4, -1), kCellClear);
  EXPECT_EQ(frame_cells(1000), FrameCells{});
}

TEST(BodyFrames, HeadTopRowFollowsTheLoweredFrames) {
  EXPECT_EQ(head_top_row(0), 2);
  EXPECT_EQ(head_top_row(14), 3);
  for (int f = 5; f <= 8; ++f) EXPECT_EQ(head_top_row(f), 4);
  EXPECT_EQ(head_top_row(25), 2);
}

TEST(Atlas, LaysFramesSideBySide) {
  const std::vector<std::uint8_t> atlas = build_atlas();
  ASSERT_EQ(atlas.size(), 416u * 10u);
  for (int f = 0; f < kFrameCount; ++f) {
    for (int row = 0; row < kFrameRows; ++row) {
      for (int col = 0; col < kFrameColumns; ++col) {
        ASSERT_EQ(atlas[static_cast<std::size_t>(row * 416 + 16 * f + col)], frame_cell(f, col, row));
      }
    }
  }
}

TEST(Halo, IsABlurredSilhouetteInsideItsMargin) {
  const SpriteTextures t = build_sprite_textures();
  ASSERT_EQ(t.halo.size(), 2496u * 72u);
  const auto at = [&](int f, int x, int y) { return t.halo[static_cast<std::size_t>(y * 2496 + f * 96 + x)]; };
  for (int f = 0; f < kFrameCount; ++f) {
    // Three 9-tap rounds reach 12 texels, so the outer 4 texels of the 16-texel margin stay dark.
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(at(f, i, 36), 0);
      EXPECT_EQ(at(f, 95 - i, 36), 0);
      EXPECT_EQ(at(f, 48, i), 0);
      EXPECT_EQ(at(f, 48, 71 - i), 0);
    }
  }
  // Deep inside the idle body the blur keeps full coverage, and it falls off outwards.
  EXPECT_EQ(at(0, 48, 36), 255);
  EXPECT_GT(at(0, 14, 36), 0);
  EXPECT_LT(at(0, 14, 36), at(0, 20, 36));
  // The idle frame is symmetric, and so is its halo: a lopsided blur would show here.
  for (int y = 0; y < 72; ++y) {
    for (int x = 0; x < 48; ++x) ASSERT_EQ(at(0, x, y), at(0, 95 - x, y)) << x << "," << y;
  }
  // Frames differ: the raised claws of the wave light up the top right only.
  EXPECT_GT(at(9, 16 + 4 * 15 + 2, 16 + 2), 60);
  EXPECT_LT(at(9, 16 + 2, 16 + 2) + 30, at(9, 16 + 4 * 15 + 2, 16 + 2));
}

TEST(Halo, WrongAtlasGivesDarkHalo) {
  const std::vector<std::uint8_t> halo = build_halo(std::vector<std::uint8_t>(10, 1));
  ASSERT_EQ(halo.size(), 2496u * 72u);
  for (std::uint8_t v : halo) ASSERT_EQ(v, 0);
}

TEST(Wear, MapsAreRectangularAndFitTheSprite) {
  for (int i = 0; i < kHatCount; ++i) {
    const PixelMap& hat = hat_map(i);
    for (std::string_view row : hat.rows) EXPECT_EQ(static_cast<int>(row.size()), hat.width()) << hat.name;
    EXPECT_LE(hat.width(), kFrameColumns);
  }
  for (int i = 0; i < kGlassesCount; ++i) {
    const PixelMap& g = glasses_map(i);
    for (std::string_view row : g.rows) EXPECT_EQ(static_cast<int>(row.size()), g.width()) << g.name;
    EXPECT_LE(kGlassesLeftColumn + g.width(), kFrameColumns);
  }
  EXPECT_EQ(hat_map(1).name, "Party");
  EXPECT_EQ(hat_map(4).name, "Beanie");
  EXPECT_EQ(glasses_map(2).name, "Nerd");
  EXPECT_DOUBLE_EQ(hat_left_column(hat_map(1)), 4.5);
  EXPECT_DOUBLE_EQ(hat_left_column(hat_map(2)), 3.5);
}

TEST(Wear, UnknownIndicesWearNothing) {
  EXPECT_EQ(hat_map(5).name, "None");
  EXPECT_EQ(hat_map(-1).name, "None");
  EXPECT_EQ(hat_map(0).height(), 0);
  EXPECT_EQ(glasses_map(3).name, "None");
  EXPECT_EQ(glasses_map(-7).width(), 0);
}

TEST(Wear, PaletteLettersAndOutlineFallback) {
  EXPECT_EQ(wear_colour('b'), 0x3F6FD8u);
  EXPECT_EQ(wear_colour('g'), 0xF5C542u);
  EXPECT_EQ(wear_colour('r'), 0xE8443Au);
  EXPECT_EQ(wear_colour('w'), 0xF2F2F2u);
  EXPECT_EQ(wear_colour('y'), 0xFFD23Fu);
  EXPECT_EQ(wear_colour('k'), 0x17171Bu);
  EXPECT_EQ(wear_colour('z'), 0x17171Bu);
  EXPECT_EQ(wear_colour('?'), 0x17171Bu);
}

TEST(SmallMaps, HeartAndStarAreSymmetric) {
  for (const PixelMap* map : {&heart_map(), &star_map()}) {
    EXPECT_EQ(map->width(), 7);
    for (std::string_view row : map->rows) {
      ASSERT_EQ(row.size(), 7u);
      for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(row[i] == '.', row[6 - i] == '.') << map->name << ": " << row;
    }
  }
  EXPECT_EQ(heart_map().height(), 6);
  EXPECT_EQ(star_map().height(), 5);
}

}  // namespace
}  // namespace perchkin
