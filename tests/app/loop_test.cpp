#include "app/app.h"
#include "app_fixture.h"
#include "app/commands.h"
#include "base/pace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

namespace perchkin {
namespace {

struct LoopFixture : test::AppFixture {
  void SetUp() override { start(12, 12345); }
  // Runs one frame that starts dt seconds after the previous one.
  void frame_after(double dt) {
    clock.t = app.last_frame + dt;
    run_frame(app);
  }
};

TEST_F(LoopFixture, LongStallRunsFiveTicksAndDropsTheRest) {
  frame_after(0.5);
  EXPECT_NEAR(app.sim_clock, 5 * kTick, 1e-12);
  EXPECT_EQ(app.accumulator, 0.0);
  frame_after(0.02);
  EXPECT_NEAR(app.sim_clock, 6 * kTick, 1e-12);
  EXPECT_NEAR(app.accumulator, 0.02 - kTick, 1e-9);
  EXPECT_NEAR(app.accumulator / kTick, 0.2, 1e-6);
}

TEST_F(LoopFixture, StatisticsResetWhenTheCrewChanges) {
  frame_after(0.017);
  frame_after(0.017);
  EXPECT_EQ(app.gap_ms.values.size(), 2u);
  ASSERT_TRUE(run_command(app, "crew", json{{"add", 1}}).ok);
  frame_after(0.017);
  EXPECT_EQ(app.gap_ms.values.size(), 1u);
  for (int i = 0; i < 400; ++i) frame_after(0.001 * (i % 20 + 1));
  EXPECT_EQ(app.gap_ms.values.size(), kStatsRing);
}

TEST_F(LoopFixture, SettingsSaveMoreThanHalfASecondAfterTheLastChange) {
  const auto dir = std::filesystem::temp_directory_path() / "perchkin-loop-save";
  std::filesystem::remove_all(dir);
  app.settings_file = dir / "settings.json";
  app.settings_dirty_at = clock.now();
  frame_after(0.3);
  EXPECT_FALSE(std::filesystem::exists(app.settings_file));
  frame_after(0.3);
  EXPECT_TRUE(std::filesystem::exists(app.settings_file));
  EXPECT_FALSE(app.settings_dirty_at);
  std::filesystem::remove_all(dir);
}

TEST_F(LoopFixture, QuitAndQuietFrames) {
  app.quiet = true;
  const double before = app.sim_clock;
  frame_after(0.5);
  EXPECT_EQ(app.sim_clock, before);  // nothing ticks while quiet
  EXPECT_EQ(desktop.drained, 1);     // but what the desktop sends is read, not left to pile up
  EXPECT_EQ(run_command(app, "quit", json(5)).msg, "bye");
  EXPECT_FALSE(app.running);
}

TEST(Pace, SleepsToADeadlineAndNeverSpinsOnOneTheClockRefuses) {
  const double start = monotonic_seconds();
  sleep_until(start + 0.02);
  EXPECT_GE(monotonic_seconds() - start, 0.019);
  // A deadline the system refuses once made the sleep retry forever.
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread([done] {
    sleep_until(-1.0);
    sleep_until(std::nan(""));
    sleep_until(1e300);
    done->store(true);
  }).detach();
  const double limit = monotonic_seconds() + 2.0;
  while (!done->load() && monotonic_seconds() < limit) sleep_until(monotonic_seconds() + 0.01);
  EXPECT_TRUE(done->load()) << "sleep_until did not return";
  EXPECT_EQ(next_frame_deadline(10.0, 10.001, 0.5), 10.5);
  EXPECT_EQ(next_frame_deadline(10.0, 12.0, 0.5), 12.0);  // late: no burst to catch up
}

TEST(StatsRing, Percentile) {
  StatsRing r;
  for (int i = 1; i <= 20; ++i) r.push(static_cast<float>(i));
  EXPECT_EQ(r.p95(), 19.0);  // sorted[floor(0.95 * 20) - 1] = sorted[18]
  EXPECT_EQ(r.mean(), 10.5);
  EXPECT_EQ(r.max(), 20.0);
  StatsRing one;
  one.push(4.0f);
  EXPECT_EQ(one.p95(), 4.0);
  EXPECT_EQ(stats_text(one, one), "tick avg 4.0ms max 4.0ms; frame gap avg 4.0ms p95 4.0ms max 4.0ms");
}

}  // namespace
}  // namespace perchkin
