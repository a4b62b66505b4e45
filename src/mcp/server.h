// The Model Context Protocol server on standard input and output.
#pragma once

#include "mcp/protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace perchkin {

// Longer input lines are skipped and answered with a parse error, so memory stays bounded.
inline constexpr std::size_t kMaxMcpLineBytes = 4u << 20;

// Reads lines from in until it ends (or out can no longer be written), writing each response line to out and flushing it.
void serve_mcp(std::FILE* in, std::FILE* out, const Forwarder& forward,
               std::size_t max_line_bytes = kMaxMcpLineBytes);

// Serves until standard input ends; returns the exit code. `executable` is the companion's
// program, started when nothing listens on the port.
int run_mcp_server(std::uint16_t port, const std::string& executable);

}  // namespace perchkin
