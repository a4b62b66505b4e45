// Colour text as commands and turtle programs write it: "#rrggbb", "#rgb" or a colour name.
#pragma once

#include <cstdint>
#include <string_view>

namespace perchkin {

inline constexpr std::uint32_t kColorRed = 0xFF0000;

// Trimmed and lower-cased first; anything unreadable is red. Returns 0xRRGGBB (alpha is always
// opaque).
std::uint32_t parse_color_text(std::string_view text);

}  // namespace perchkin
