// The desktop's ledges: monitor floors, taskbars and window tops, read through a Desktop.
#pragma once

#include "crowd/buddy.h"
#include "win/desktop.h"

#include <vector>

namespace perchkin {

// Floors first (merged monitor runs, in order), then taskbars and windows front to back.
// Without graphics the whole screen's bottom is the only floor and no window is looked at.
// `unit` is the buddies' pixels per sprite pixel: ledges narrower than 40 units are useless.
std::vector<Support> scan_surfaces(Desktop& desktop, const ScreenRect& screen, double scale,
                                   double unit, bool graphics);

}  // namespace perchkin
