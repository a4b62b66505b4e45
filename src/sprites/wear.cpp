#include "sprites/wear.h"

#include <array>

#include "sprites/frames.h"

namespace perchkin {

namespace {

constexpr std::array<std::string_view, 4> kParty = {"...y...", "..rrr..", ".ryrry.", "rrrrrrr"};
constexpr std::array<std::string_view, 4> kTopHat = {"..kkkkk..", "..kkkkk..", "..rrrrr..", "kkkkkkkkk"};
constexpr std::array<std::string_view, 3> kCrown = {"g..g..g", "g.ggg.g", "ggggggg"};
constexpr std::array<std::string_view, 3> kBeanie = {".bbbbb.", "bbbbbbb", "wwwwwww"};

constexpr std::array<std::string_view, 3> kShades = {"............", "kkkkkkkkkkkk", ".kkk....kkk."};
constexpr std::array<std::string_view, 3> kNerd = {".kkk....kkk.", "k...kkkk...k", ".kkk....kkk."};

constexpr std::array<std::string_view, 6> kHeart = {".hh.hh.", "hhhhhhh", "hhhhhhh",
                                                    ".hhhhh.", "..hhh..", "...h..."};
constexpr std::array<std::string_view, 5> kStar = {"...y...", "..yyy..", "yyyyyyy", ".yyyyy.", ".yy.yy."};

constexpr std::array<PixelMap, kHatCount> kHats = {{
    {"None", {}},
    {"Party", kParty},
    {"Top hat", kTopHat},
    {"Crown", kCrown},
    {"Beanie", kBeanie},
}};

constexpr std::array<PixelMap, kGlassesCount> kGlasses = {{
    {"None", {}},
    {"Shades", kShades},
    {"Nerd", kNerd},
}};

constexpr PixelMap kHeartMap = {"heart", kHeart};
constexpr PixelMap kStarMap = {"star", kStar};

}  // namespace

const PixelMap& hat_map(int index) {
  if (index < 0 || index >= kHatCount) return kHats[0];
  return kHats[static_cast<std::size_t>(index)];
}

const PixelMap& glasses_map(int index) {
  if (index < 0 || index >= kGlassesCount) return kGlasses[0];
  return kGlasses[static_cast<std::size_t>(index)];
}

std::uint32_t wear_colour(char cell) {
  switch (cell) {
    case 'b': return 0x3F6FD8;
    case 'g': return 0xF5C542;
    case 'r': return 0xE8443A;
    case 'w': return 0xF2F2F2;
    case 'y': return 0xFFD23F;
    default: return 0x17171B;  // outlines: every other letter, and anything unexpected
  }
}

double hat_left_column(const PixelMap& hat) { return (kFrameColumns - hat.width()) / 2.0; }

const PixelMap& heart_map() { return kHeartMap; }
const PixelMap& star_map() { return kStarMap; }

}  // namespace perchkin
