#include "crowd/rng.h"

#include <chrono>

namespace perchkin {

std::uint64_t wall_clock_nanos() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
  if (nanos < 0) return 7;
  return static_cast<std::uint64_t>(nanos);
}

}  // namespace perchkin
