// The simulation's fixed step.
#pragma once

namespace perchkin {

inline constexpr double kTick = 1.0 / 60.0;

}  // namespace perchkin
