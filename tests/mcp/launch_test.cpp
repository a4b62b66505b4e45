#include "mcp/launch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace perchkin {
namespace {

using namespace std::chrono_literals;

// A port on virtual time: sends are answered from a script of results, the clock moves only
// when the code under test sleeps.
struct VirtualWorld {
  std::chrono::steady_clock::time_point clock{};
  std::vector<std::chrono::steady_clock::duration> sends_at;
  int launches = 0;
  bool launch_works = true;
  // Refused until this many sends have been made (then the reply below), or always when < 0.
  int refused_sends = -1;
  SendResult after = CommandReply{true, "said"};

  LaunchHooks hooks() {
    LaunchHooks h;
    h.send = [this](std::string_view, const json&) -> SendResult {
      sends_at.push_back(clock.time_since_epoch());
      if (refused_sends < 0 || static_cast<int>(sends_at.size()) <= refused_sends) {
        return SendFailure{"connection refused", true};
      }
      return after;
    };
    h.launch = [this] {
      ++launches;
      return launch_works;
    };
    h.now = [this] { return clock; };
    h.sleep = [this](std::chrono::milliseconds d) { clock += d; };
    return h;
  }

  ForwardResult forward() { return forward_with_launch("say", json::object(), hooks(), "perchkin"); }
};

std::string failure_text(const ForwardResult& result) {
  const auto* failure = std::get_if<ForwardFailure>(&result);
  return failure ? failure->message : "(reply)";
}

TEST(McpLaunch, RunningCompanionIsNeitherLaunchedNorRetried) {
  VirtualWorld world;
  world.refused_sends = 0;
  const ForwardResult result = world.forward();
  ASSERT_TRUE(std::holds_alternative<CommandReply>(result));
  EXPECT_EQ(std::get<CommandReply>(result).msg, "said");
  EXPECT_EQ(world.launches, 0);
  EXPECT_EQ(world.sends_at.size(), 1u);

  world = VirtualWorld{};
  world.refused_sends = 0;
  world.after = SendFailure{"buddy closed the connection", false};
  EXPECT_EQ(failure_text(world.forward()), "buddy not reachable: buddy closed the connection");
  EXPECT_EQ(world.launches, 0);
}

TEST(McpLaunch, RefusedConnectionLaunchesOnceAndRetriesUntilAnswered) {
  VirtualWorld world;
  world.refused_sends = 4;  // the first call and three retries find nothing listening
  world.after = CommandReply{false, "text is required"};
  const ForwardResult result = world.forward();
  ASSERT_TRUE(std::holds_alternative<CommandReply>(result));
  EXPECT_EQ(std::get<CommandReply>(result).msg, "text is required");
  EXPECT_FALSE(std::get<CommandReply>(result).ok);
  EXPECT_EQ(world.launches, 1);
  ASSERT_EQ(world.sends_at.size(), 5u);
  for (std::size_t i = 0; i < world.sends_at.size(); ++i) {
    EXPECT_EQ(world.sends_at[i], std::chrono::milliseconds(200 * i));
  }
}

TEST(McpLaunch, OtherFailureWhileWaitingEndsTheRetries) {
  VirtualWorld world;
  world.refused_sends = 2;
  world.after = SendFailure{"timed out", false};
  EXPECT_EQ(failure_text(world.forward()), "buddy not reachable: timed out");
  EXPECT_EQ(world.sends_at.size(), 3u);
}

TEST(McpLaunch, CompanionThatNeverAnswersGivesUpAfterEightSeconds) {
  VirtualWorld world;
  EXPECT_EQ(failure_text(world.forward()), "buddy did not start; try running perchkin");
  EXPECT_EQ(world.launches, 1);
  EXPECT_EQ(world.clock.time_since_epoch(), 8000ms);
  ASSERT_EQ(world.sends_at.size(), 41u);  // the first call, then one every 200 ms
  EXPECT_EQ(world.sends_at.back(), 8000ms);

  // The executable's name in the message is the caller's (perchkin.exe on Windows).
  VirtualWorld windows;
  EXPECT_EQ(failure_text(forward_with_launch("say", json::object(), windows.hooks(), "perchkin.exe")),
            "buddy did not start; try running perchkin.exe");
}

TEST(McpLaunch, FailedLaunchAnswersAtOnce) {
  VirtualWorld world;
  world.launch_works = false;
  EXPECT_EQ(failure_text(world.forward()), "buddy did not start; try running perchkin");
  EXPECT_EQ(world.launches, 1);
  EXPECT_EQ(world.sends_at.size(), 1u);
  EXPECT_EQ(world.clock.time_since_epoch(), 0ms);
}

TEST(McpLaunch, ACompanionThatEndsIsReportedAtOnceWithItsReason) {
  VirtualWorld world;
  LaunchHooks hooks = world.hooks();
  LaunchedCompanion companion;
  hooks.launch_failure = [&] { return companion.failure(); };
  hooks.sleep = [&](std::chrono::milliseconds d) {
    world.clock += d;
    if (world.clock.time_since_epoch() == 400ms) companion.end(1, "could not start the graphics: no X display");
  };
  EXPECT_EQ(failure_text(forward_with_launch("say", json::object(), hooks, "perchkin")),
            "buddy did not start: could not start the graphics: no X display (exit code 1)");
  EXPECT_EQ(world.clock.time_since_epoch(), 400ms);

  // One that took the connection while failing closes it as it dies: its reason still wins.
  VirtualWorld dying;
  dying.refused_sends = 1;
  dying.after = SendFailure{"buddy closed the connection", false};
  LaunchHooks dying_hooks = dying.hooks();
  LaunchedCompanion failing;
  dying_hooks.launch_failure = [&] { return failing.failure(); };
  dying_hooks.sleep = [&](std::chrono::milliseconds d) {
    dying.clock += d;
    if (dying.clock.time_since_epoch() == 600ms) failing.end(1, "cannot open the X display :9");
  };
  EXPECT_EQ(failure_text(forward_with_launch("say", json::object(), dying_hooks, "perchkin")),
            "buddy did not start: cannot open the X display :9 (exit code 1)");
  EXPECT_EQ(dying.sends_at.size(), 2u);
}

TEST(McpLaunch, SlowRefusalsStillStopAtTheDeadline) {
  // Each refused attempt itself takes a second (as a refused connect can on some systems).
  VirtualWorld world;
  LaunchHooks hooks = world.hooks();
  auto plain_send = hooks.send;
  hooks.send = [&](std::string_view name, const json& args) {
    world.clock += 1s;
    return plain_send(name, args);
  };
  EXPECT_EQ(failure_text(forward_with_launch("act", json::object(), hooks, "perchkin")),
            "buddy did not start; try running perchkin");
  EXPECT_LE(world.clock.time_since_epoch(), 10s);
  EXPECT_EQ(world.launches, 1);
}

}  // namespace
}  // namespace perchkin
