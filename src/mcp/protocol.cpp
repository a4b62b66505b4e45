#include "mcp/protocol.h"

#include "base/text.h"
#include "base/vocabulary.h"

#include <array>

namespace perchkin {

namespace {

constexpr std::array<std::string_view, 9> kToolNames = {"say", "walk", "act",  "leap",  "draw",
                                                        "turtle", "fx", "crew", "status"};
constexpr std::array<std::string_view, 3> kProtocolVersions = {"2025-06-18", "2025-03-26",
                                                               "2024-11-05"};

json of_type(std::string_view type) { return json{{"type", type}}; }
json number() { return of_type("number"); }
json string() { return of_type("string"); }
json either(std::string_view a, std::string_view b) {
  return json{{"type", json::array({a, b})}};
}

template <std::size_t N>
json one_of(const std::array<std::string_view, N>& names) {
  json values = json::array();
  for (std::string_view n : names) values.push_back(n);
  return json{{"enum", std::move(values)}, {"type", "string"}};
}

json points() {
  return json{{"items", {{"items", number()}, {"type", "array"}}}, {"type", "array"}};
}

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
  if (with_id) properties["id"] = either("integer", "string");
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
  tools.push_back(make_tool("say", "Speech bubble, optionally with an act.",
                            {{"text", string()}, {"seconds", number()}, {"act", one_of(kActNames)}},
                            {"text"}, true));
  tools.push_back(make_tool("walk", "Walk to 'cursor', 'left', 'right', 'center' or an x pixel.",
                            {{"to", either("string", "number")}}, {"to"}, true));
  tools.push_back(make_tool("act", "Animate. chase = chase the mouse; celebrate = dance + confetti.",
                            {{"action", one_of(kActNames)}}, {"action"}, true));
  tools.push_back(make_tool("leap", "Jump in an arc to screen point x,y; lands on whatever is below.",
                            {{"x", number()}, {"y", number()}}, {"x", "y"}, true));
  tools.push_back(make_tool(
      "draw",
      "He flies over and draws it with a pencil. pts: [x,y] screen px: corners for shapes, any "
      "number for line/curve, 1 for text/fire(base)/cloud/bolt(top)/bomb, 2 ends for platform. "
      "fire burns buddies, cloud rains and puts fires out, bolt zaps and ignites, bomb explodes, "
      "platform can be stood on. ttl s, 0 = keep.",
      {{"kind", one_of(kDrawKinds)},
       {"pts", points()},
       {"text", string()},
       {"size", number()},
       {"color", string()},
       {"width", number()},
       {"ttl", number()}},
      {"kind"}, true));
  tools.push_back(make_tool(
      "turtle",
      "Draw with a Logo program: fd bk rt lt seth pu pd goto x y, color c, width w, arc deg r, "
      "circle r, repeat n [..]; :i = repeat counter, e.g. repeat 36 [fd :i*5 rt 100]. Starts at "
      "x,y (default above him), heading east.",
      {{"prog", string()}, {"x", number()}, {"y", number()}, {"color", string()}, {"width", number()}},
      {"prog"}, true));
  tools.push_back(make_tool("fx", "Screen effect at x,y (default: him).",
                            {{"kind", one_of(kEffectKinds)}, {"x", number()}, {"y", number()}},
                            {"kind"}, true));
  tools.push_back(make_tool(
      "crew",
      "Add buddies (max 200; color: " + joined(kCrewColorNames, " ") +
          "), remove an id or 'all' extras, or set size 1-12 (default 4) for id or all.",
      {{"add", number()}, {"color", string()}, {"remove", either("integer", "string")},
       {"size", number()}},
      {}, true));
  tools.push_back(make_tool("status",
                            "Buddies (id, mode, position), cursor and screen size. id param on "
                            "other tools picks a buddy or 'all'; default is the first.",
                            json::object(), {}, false));
  return tools;
}

bool is_tool_name(std::string_view name) {
  for (std::string_view t : kToolNames) {
    if (t == name) return true;
  }
  return false;
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
