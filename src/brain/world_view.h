// The read-only view of the desktop the simulation gets each tick.
#pragma once

#include "crowd/buddy.h"
#include "crowd/crew.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace perchkin {

struct WorldView {
  double left = 0.0, top = 0.0, right = 1920.0, bottom = 1080.0;
  double cursor_x = 0.0, cursor_y = 0.0;
  double now = 0.0;          // simulation clock
  double idle_seconds = 0.0;  // since the user's last input
  int local_hour = 12;
  std::uint32_t keystrokes = 0;  // counter, only ever grows
  bool graphics = false;

  std::vector<Support> platforms;
  std::unordered_map<std::int64_t, std::size_t> platform_by_id;
  // Platform indices sorted by left edge... see build_world_view for the exact key.
  std::vector<std::size_t> platform_by_x;
  std::vector<double> platform_x_keys;
  double max_half_width = 0.0;

  std::vector<BuddySummary> buddies;  // sorted by id
  std::unordered_map<std::int64_t, std::uint32_t> stands_on;  // carrier platform id -> buddy id
};

}  // namespace perchkin
