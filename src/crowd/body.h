// A buddy's body as motion sees it, in units (sprite cells) with the feet at (x, y), and the
// one place that says what a throw sets.
#pragma once

#include "crowd/buddy.h"

namespace perchkin {

inline constexpr double kHalfWidth = 8.0;    // feet to either side: how close a wall comes
inline constexpr double kHeadHeight = 10.0;  // feet to the top of the head: the ceiling margin
inline constexpr double kPushReach = 9.0;    // each body's share of the distance two keep apart
inline constexpr double kContactHeight = 8.0;  // bodies further apart vertically never push
inline constexpr double kPlatformReach = 40.0;  // how far to either side a buddy looks to climb

// Air drag of a plain fall, and the far lighter drag of a thrown buddy.
inline constexpr double kFallDrag = 3.0;
inline constexpr double kThrownDrag = 0.15;

// Marks a buddy as thrown (flung, launched, bounced off, slid off or let go): it flies with the
// light drag of a throw, and its landing counts as a throw's.
inline void throw_buddy(Buddy& b) {
  b.motion.thrown = true;
  // Only a release (which sets it afterwards) counts as the hand's throw.
  b.motion.hurled = false;
  b.motion.air_drag = kThrownDrag;
}

}  // namespace perchkin
