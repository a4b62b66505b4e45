// JSON-RPC over lines for the MCP mode: the tool table and the handling of one input line.
// No I/O here; the companion is reached through the Forwarder the caller supplies.
#pragma once

#include "ipc/command.h"
#include "base/json.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace perchkin {

inline constexpr std::string_view kMcpServerName = "perchkin";
inline constexpr std::string_view kMcpServerVersion = PERCHKIN_VERSION;  // from CMake
inline constexpr std::string_view kMcpPreferredVersion = "2025-06-18";

// A forwarded call ends in the companion's reply or in a failure text meant for the assistant.
struct ForwardFailure {
  std::string message;
};
using ForwardResult = std::variant<CommandReply, ForwardFailure>;
using Forwarder = std::function<ForwardResult(std::string_view name, const json& args)>;

// A tool descriptor; with_id adds (or replaces) the "id" property that picks a buddy.
json make_tool(std::string_view name, std::string_view description, json properties,
               const std::vector<std::string>& required, bool with_id);
// The nine tools, in the order the assistant sees them.
json tool_list();
bool is_tool_name(std::string_view name);
json tool_result(std::string_view text, bool is_error);

// The result member of a tools/call response.
json call_tool(const json& params, const Forwarder& forward);

// The response to text that is not JSON.
std::string mcp_parse_error();

// One input line in, at most one response line out (without its line feed). Blank lines,
// notifications and requests without a method give nothing.
std::optional<std::string> handle_mcp_line(std::string_view line, const Forwarder& forward);

}  // namespace perchkin
