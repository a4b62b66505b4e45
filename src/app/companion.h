// The companion: start-up, the frame loop and the quit client.
#pragma once

#include "app/backends.h"
#include "app/launch.h"

namespace perchkin {

// Start-up, the frame loop and the tail; returns the process exit code.
int run_companion(const LaunchOptions& options, DesktopFactory desktop);
// --quit: asks the running companion to quit and prints its answer.
int run_quit_client(std::uint16_t port);

}  // namespace perchkin
