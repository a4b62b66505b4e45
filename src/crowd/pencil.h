// What a buddy draws: strokes, jobs and the pencil's flight state.
#pragma once

#include "crowd/buddy_event.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace perchkin {

struct Stroke {
  std::vector<StrokePoint> points;  // at least one
  bool ink = true;                  // false: the pencil only travels
  std::optional<double> fixed_speed;
  std::string colour;  // colour text, at most 24 characters
  double width = 4.0;  // pixels
  double ttl = 10.0;   // seconds; 0 keeps the line
  std::optional<BuddyEvent> start_event;
};

struct DrawJob {
  std::vector<Stroke> strokes;
  std::optional<BuddyEvent> end_event;
  std::size_t points = 0;  // of its strokes, counted when it is queued
};

inline constexpr std::size_t kMaxWaitingJobs = 20;

struct Pencil {
  // At most kMaxWaitingJobs. Not a deque: an empty one allocates about 600 bytes, which a
  // crew of 100,000 idle buddies pays 60 MB for.
  std::vector<DrawJob> waiting;
  std::optional<DrawJob> job;  // in flight
  std::size_t stroke = 0;      // current stroke
  std::size_t point = 0;       // index of the last point reached
  bool stroke_started = false;
  double x = 0.0, y = 0.0;  // pencil point
  double speed = 0.0;       // px/s
  std::uint64_t line_id = 0;
  bool line_open = false;  // an ink line is being drawn
  bool out = false;        // the pencil point is valid
  double lean = 0.0;
};

}  // namespace perchkin
