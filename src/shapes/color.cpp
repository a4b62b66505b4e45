#include "shapes/color.h"

#include <string>

#include "base/text.h"

namespace perchkin {

namespace {

struct NamedColor {
  std::string_view name;
  std::uint32_t rgb;
};

constexpr NamedColor kNamedColors[] = {
    {"red", 0xFF0000},       {"black", 0x000000},  {"silver", 0xC0C0C0},  {"sky", 0x87CEEB},
    {"white", 0xFFFFFF},     {"yellow", 0xFFFF00}, {"gray", 0x808080},    {"grey", 0x808080},
    {"green", 0x00A000},     {"orange", 0xFFA500}, {"lime", 0x00FF00},    {"brown", 0xA52A2A},
    {"purple", 0x800080},    {"blue", 0x0000FF},   {"olive", 0x808000},   {"violet", 0xEE82EE},
    {"navy", 0x000080},      {"coral", 0xFF7F50},  {"maroon", 0x800000},  {"cyan", 0x00FFFF},
    {"aqua", 0x00FFFF},      {"beige", 0xF5F5DC},  {"salmon", 0xFA8072},  {"teal", 0x008080},
    {"skyblue", 0x87CEEB},   {"tomato", 0xFF6347}, {"gold", 0xFFD700},    {"hotpink", 0xFF69B4},
    {"indigo", 0x4B0082},    {"pink", 0xFFC0CB},   {"magenta", 0xFF00FF}, {"fuchsia", 0xFF00FF},
    {"turquoise", 0x40E0D0},
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::uint32_t parse_color_text(std::string_view text) {
  std::string lower = trim(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }

  if (!lower.empty() && lower.front() == '#' && (lower.size() == 7 || lower.size() == 4)) {
    const bool short_form = lower.size() == 4;
    std::uint32_t rgb = 0;
    for (std::size_t i = 1; i < lower.size(); ++i) {
      const int d = hex_digit(lower[i]);
      if (d < 0) return kColorRed;
      // "#rgb" doubles each digit (d * 17); "#rrggbb" takes them as they are.
      rgb = short_form ? (rgb << 8) | static_cast<std::uint32_t>(d * 17)
                       : (rgb << 4) | static_cast<std::uint32_t>(d);
    }
    return rgb;
  }
  for (const NamedColor& named : kNamedColors) {
    if (named.name == lower) return named.rgb;
  }
  return kColorRed;
}

}  // namespace perchkin
