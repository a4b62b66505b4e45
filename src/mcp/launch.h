// Forwarding a tool call to the companion, starting the companion when nothing listens.
#pragma once

#include "ipc/port.h"
#include "mcp/protocol.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

inline constexpr std::chrono::milliseconds kLaunchRetryInterval{200};
inline constexpr std::chrono::milliseconds kLaunchPatience{8000};

// A launched companion as its launcher sees it: filled by a watcher thread when it ends.
struct LaunchedCompanion {
  std::mutex mutex;
  bool ended = false;
  int exit_code = 0;
  std::string first_error_line;  // the first line it wrote to standard error, cut to 400 bytes

  void end(int code, std::string line) {
    std::lock_guard lock(mutex);
    ended = true;
    exit_code = code;
    first_error_line = std::move(line);
  }
  // Why it ended ("could not start the graphics: ... (exit code 1)"), or nullopt while it runs.
  std::optional<std::string> failure();
};

// The outside world of one forwarded call, replaceable so tests can run it on virtual time.
struct LaunchHooks {
  std::function<SendResult(std::string_view name, const json& args)> send;
  std::function<bool()> launch;  // starts the companion detached; false when it could not
  // After a launch: why the companion ended, or nullopt while it runs. May be empty.
  std::function<std::optional<std::string>()> launch_failure;
  std::function<std::chrono::steady_clock::time_point()> now;
  std::function<void(std::chrono::milliseconds)> sleep;
};

// Sends once; on a refused connection launches the companion and repeats the call every 200 ms
// until it is answered, the companion has ended, or 8 s have passed since the launch.
ForwardResult forward_with_launch(std::string_view name, const json& args,
                                  const LaunchHooks& hooks, std::string_view executable);

// The hooks of the real process: send_command on port, the platform launcher, the steady clock.
LaunchHooks system_launch_hooks(std::uint16_t port);

// Platform layer (launch_x11.cpp / launch_win32.cpp).
// Starts this program's own executable with the single argument "--background", detached, its
// standard input and output on the null device and its standard error read by a watcher thread
// (the first line kept, the rest drained) that records how it ends; does not wait for it.
// Null when it could not be started.
std::shared_ptr<LaunchedCompanion> launch_companion_in_background();
// Readies standard input and output for the protocol: no line-ending translation (Windows), and
// a client that goes away ends the loop at the next write instead of killing us (Linux).
void prepare_protocol_stdio();

}  // namespace perchkin
