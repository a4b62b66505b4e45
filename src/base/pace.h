// Pacing drawn frames where presenting does not wait for the display: the monotonic clock and
// sleeping until a moment on it (the system layer's, in app/clock_posix.cpp and
// app/clock_win32.cpp), and the next frame's deadline.
#pragma once

#include <algorithm>

namespace perchkin {

// Seconds on the monotonic clock the frame loop uses.
double monotonic_seconds();

// Sleeps until `deadline` on that clock; returns at once for a moment already past, one more
// than a second ahead (no frame's) or one that is not a time at all.
void sleep_until(double deadline);

// One period after the last deadline, but never before `now` and never more than a period
// ahead: a late frame starts the next at once, without a burst of catching up.
inline double next_frame_deadline(double last, double now, double period) {
  return std::clamp(last + period, now, now + period);
}

}  // namespace perchkin
