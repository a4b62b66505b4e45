// The doodles the action menu picks from, one at random, and runs as a turtle command.
#pragma once

#include <array>
#include <string_view>

namespace perchkin::logo {

inline constexpr std::array<std::string_view, 6> kSamplePrograms{
    "color #FF4D6D width 5 repeat 36 [fd 140 rt 170]",
    "color #4D9DFF width 3 repeat 60 [fd :i*3 rt 89]",
    "color #4DD599 width 4 repeat 12 [circle 40 rt 30]",
    "color #B36BFF width 5 repeat 5 [fd 160 rt 144]",
    "color #FF8A3D width 4 repeat 6 [repeat 3 [fd 100 rt 120] rt 60]",
    "color #FFD23F width 4 repeat 72 [fd :i*2 rt 59]",
};

}  // namespace perchkin::logo
