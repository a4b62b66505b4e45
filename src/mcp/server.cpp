#include "mcp/server.h"

#include <cstdio>

namespace perchkin {

int run_mcp_server(std::uint16_t) {
  std::fprintf(stderr, "the MCP server is not available in this build yet\n");
  return 1;
}

}  // namespace perchkin
