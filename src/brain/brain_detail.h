// Small pieces shared by the brain's step and its command entry points.
#pragma once

#include "brain/brain.h"

#include <string_view>

namespace perchkin::brain_detail {

// Traits divide; a zero or missing trait must not stall a buddy forever.
inline double trait(double v) { return v >= 0.1 ? v : 0.1; }

inline void hearts(Buddy& b, int n) {
  for (int i = 0; i < n; ++i) b.push_event(HeartEvent{});
}

// (1 + 2u) / energy seconds.
double rest_seconds(Buddy& b);
// Mode idle for `seconds`, standing straight, act and run timer cleared.
void become_idle(Buddy& b, double seconds);
// Mode act with that name; the angle is kept only for "spin".
void start_act(Buddy& b, Act name, double seconds);
void cancel_chase(Buddy& b);
bool chase_open(const Buddy& b);
void resume_chase(Buddy& b);
// Free distance ahead (as blocker_distance), exact below `limit`.
double free_ahead(const Buddy& b, const WorldView& view, double limit);
// Starts the pending walk: faces the target, stops short of a blocker; under 1 px left it rests
// instead.
void start_walk(Buddy& b, const WorldView& view);
// The act entry point without the command bookkeeping; it always plays and returns the reply
// text. `from_queue` keeps the wake time of a queued "sleep".
std::string play_act(Buddy& b, Act name, bool from_queue);

}  // namespace perchkin::brain_detail
