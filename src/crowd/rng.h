// The simulation's random generator: xorshift64, one per buddy, one for the crew, one for play.
#pragma once

#include <cstddef>
#include <cstdint>

namespace perchkin {

struct Xorshift64 {
  std::uint64_t s = 0x9E3779B97F4A7C15ull;

  explicit constexpr Xorshift64(std::uint64_t seed = 0x9E3779B97F4A7C15ull) : s(seed ? seed : 1) {}

  constexpr std::uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
  // Uniform in [0, 1).
  constexpr double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // One of n (n > 0).
  constexpr std::size_t pick(std::size_t n) {
    const auto i = static_cast<std::size_t>(static_cast<double>(n) * uniform());
    return i < n ? i : n - 1;
  }
  constexpr double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  constexpr bool chance(double p) { return uniform() < p; }
};

// Seed of a group generator from wall-clock nanoseconds since 1970 (7 when the clock is earlier).
constexpr std::uint64_t group_seed(std::uint64_t clock_nanos) {
  return ((clock_nanos ^ 0xABCDull) * 0x9E3779B97F4A7C15ull) | 1ull;
}
// Wall-clock nanoseconds since 1970, wrapping; 7 when the clock reads earlier than 1970.
std::uint64_t wall_clock_nanos();

}  // namespace perchkin
