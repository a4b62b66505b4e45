// An App on the fake desktop with a virtual clock, for tests that drive the loop or the tick.
#pragma once

#include "app/app.h"

#include <gtest/gtest.h>

namespace perchkin::test {

struct AppFixture : ::testing::Test {
  FakeDesktop desktop;
  VirtualClock clock;
  App app;

  void start(int hour, std::uint64_t seed) {
    clock.hour = hour;
    init_app(app, desktop, clock, 200, seed);
  }
  // World ticks without the frame loop.
  void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      app.sim_clock += kTick;
      world_tick(app);
    }
  }
};

}  // namespace perchkin::test
