// One point of a pencil path in desktop pixels (y grows downwards).
#pragma once

#include <vector>

namespace perchkin {

struct PathPoint {
  double x = 0.0;
  double y = 0.0;

  friend bool operator==(const PathPoint&, const PathPoint&) = default;
};

using PathPoints = std::vector<PathPoint>;

}  // namespace perchkin
