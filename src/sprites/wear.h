// Built-in hats and glasses, and the two single-colour maps (heart, star), as text maps:
// '.' is transparent, every other character a palette letter (wear) or a filled cell (small maps).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace perchkin {

struct PixelMap {
  std::string_view name;
  std::span<const std::string_view> rows;  // all of equal length; empty for "None"

  int width() const { return rows.empty() ? 0 : static_cast<int>(rows.front().size()); }
  int height() const { return static_cast<int>(rows.size()); }
};

inline constexpr int kHatCount = 5;      // "None", "Party", "Top hat", "Crown", "Beanie"
inline constexpr int kGlassesCount = 3;  // "None", "Shades", "Nerd"

// Indexed by look.hat / look.glasses; an index out of range gives the "None" map.
const PixelMap& hat_map(int index);
const PixelMap& glasses_map(int index);

// Colour of a wear cell, 0xRRGGBB; '.' is transparent and never asked for.
std::uint32_t wear_colour(char cell);

// Columns from the sprite's left edge to a hat's left edge: it is centred on the 16 columns,
// so a 7-wide hat starts at 4.5.
double hat_left_column(const PixelMap& hat);
// Glasses start at this column, with their first row on the head-top row.
inline constexpr int kGlassesLeftColumn = 2;

inline constexpr std::uint32_t kHeartRgb = 0xFF4D6D;
inline constexpr std::uint32_t kStarRgb = 0xFFD23F;
const PixelMap& heart_map();
const PixelMap& star_map();

}  // namespace perchkin
