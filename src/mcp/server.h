// The Model Context Protocol server on standard input and output.
#pragma once

#include <cstdint>

namespace perchkin {

// Serves until standard input ends; returns the exit code.
int run_mcp_server(std::uint16_t port);

}  // namespace perchkin
