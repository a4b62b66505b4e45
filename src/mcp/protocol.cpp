#include "mcp/protocol.h"

#include "base/command_table.h"
#include "base/text.h"

#include <array>

namespace perchkin {

namespace {

constexpr std::array<std::string_view, 3> kProtocolVersions = {"2025-06-18", "2025-03-26",
                                                               "2024-11-05"};

json error_response(const json& id, int code, std::string_view message) {
  return json{{"error", {{"code", code}, {"message", message}}}, {"id", id}, {"jsonrpc", "2.0"}};
}

json result_response(const json& id, json result) {
  return json{{"id", id}, {"jsonrpc", "2.0"}, {"result", std::move(result)}};
}

json initialize_result(const json& params) {
  std::string_view version = kMcpPreferredVersion;
  const json* asked = json_member(params, "protocolVersion");
  if (asked && asked->is_string()) {
    const std::string& text = asked->get_ref<const std::string&>();
    for (std::string_view v : kProtocolVersions) {
      if (text == v) version = v;
    }
  }
  return json{{"capabilities", {{"tools", json::object()}}},
              {"protocolVersion", version},
              {"serverInfo", {{"name", kMcpServerName}, {"version", kMcpServerVersion}}}};
}

}  // namespace

json make_tool(std::string_view name, std::string_view description, json properties,
               const std::vector<std::string>& required, bool with_id) {
  if (!properties.is_object()) properties = json::object();
  if (with_id) properties["id"] = arg_schema(CommandArg{"id", ArgType::id});
  json required_list = json::array();
  for (const std::string& r : required) required_list.push_back(r);
  return json{{"description", description},
              {"inputSchema",
               {{"properties", std::move(properties)},
                {"required", std::move(required_list)},
                {"type", "object"}}},
              {"name", name}};
}

json tool_list() {
  json tools = json::array();
  for (const CommandEntry& command : kCommandTable) {
    if (!command.tool) continue;
    json properties = json::object();
    std::vector<std::string> required;
    for (const CommandArg& a : command.args) {
      if (!a.offered) continue;
      properties[std::string(a.name)] = arg_schema(a);
      if (a.required) required.emplace_back(a.name);
    }
    tools.push_back(make_tool(command.name, command_description(command), std::move(properties),
                              required, command.takes_id));
  }
  return tools;
}

bool is_tool_name(std::string_view name) {
  const CommandEntry* command = find_command(name);
  return command != nullptr && command->tool;
}

json tool_result(std::string_view text, bool is_error) {
  return json{{"content", json::array({json{{"text", text}, {"type", "text"}}})},
              {"isError", is_error}};
}

json call_tool(const json& params, const Forwarder& forward) {
  const json* name_value = json_member(params, "name");
  const std::string name =
      name_value && name_value->is_string() ? name_value->get<std::string>() : std::string();
  if (!is_tool_name(name)) return tool_result("unknown tool: " + name, true);

  json args = json::object();
  if (const json* given = json_member(params, "arguments"); given && !given->is_null()) {
    if (!given->is_object()) return tool_result("error: arguments must be an object", true);
    args = *given;
  }

  ForwardResult outcome = forward(name, args);
  if (auto* reply = std::get_if<CommandReply>(&outcome)) return tool_result(reply->msg, !reply->ok);
  return tool_result(std::get<ForwardFailure>(outcome).message, true);
}

std::string mcp_parse_error() {
  return dump_compact(error_response(nullptr, -32700, "parse error"));
}

std::optional<std::string> handle_mcp_line(std::string_view line, const Forwarder& forward) {
  line = trim_ascii(line);
  if (line.empty()) return std::nullopt;

  std::optional<json> request = parse_json(line);
  if (!request) return mcp_parse_error();

  const json* method_value = json_member(*request, "method");
  if (!method_value || !method_value->is_string()) return std::nullopt;
  const json* id = json_member(*request, "id");
  if (!id || id->is_null()) return std::nullopt;

  static const json kNoParams;
  const json* params_member = json_member(*request, "params");
  const json& params = params_member ? *params_member : kNoParams;
  const std::string& method = method_value->get_ref<const std::string&>();

  if (method == "initialize") return dump_compact(result_response(*id, initialize_result(params)));
  if (method == "tools/list") return dump_compact(result_response(*id, {{"tools", tool_list()}}));
  if (method == "tools/call") return dump_compact(result_response(*id, call_tool(params, forward)));
  if (method == "ping") return dump_compact(result_response(*id, json::object()));
  return dump_compact(error_response(*id, -32601, "method not found: " + method));
}

}  // namespace perchkin
