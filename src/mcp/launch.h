// Forwarding a tool call to the companion, starting the companion when nothing listens.
#pragma once

#include "ipc/port.h"
#include "mcp/protocol.h"

#include <chrono>
#include <functional>
#include <string_view>

namespace perchkin {

inline constexpr std::chrono::milliseconds kLaunchRetryInterval{200};
inline constexpr std::chrono::milliseconds kLaunchPatience{8000};

// The outside world of one forwarded call, replaceable so tests can run it on virtual time.
struct LaunchHooks {
  std::function<SendResult(std::string_view name, const json& args)> send;
  std::function<bool()> launch;  // starts the companion detached; false when it could not
  std::function<std::chrono::steady_clock::time_point()> now;
  std::function<void(std::chrono::milliseconds)> sleep;
};

// Sends once; on a refused connection launches the companion and repeats the call every 200 ms
// until it is answered or 8 s have passed since the launch.
ForwardResult forward_with_launch(std::string_view name, const json& args,
                                  const LaunchHooks& hooks, std::string_view executable);

// The hooks of the real process: send_command on port, the platform launcher, the steady clock.
LaunchHooks system_launch_hooks(std::uint16_t port);

// Platform layer (launch_x11.cpp / launch_win32.cpp).
// Starts this program's own executable with the single argument "--background", detached, its
// standard streams on the null device; does not wait for it.
bool launch_companion_in_background();
// Readies standard input and output for the protocol: no line-ending translation (Windows), and
// a client that goes away ends the loop at the next write instead of killing us (Linux).
void prepare_protocol_stdio();

}  // namespace perchkin
