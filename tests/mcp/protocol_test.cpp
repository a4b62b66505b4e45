#include "mcp/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace perchkin {
namespace {

struct Call {
  std::string name;
  json args;
};

// A companion that records every forwarded call and answers with a fixed reply.
struct FakeCompanion {
  std::vector<Call> calls;
  ForwardResult answer = CommandReply{true, "said"};

  Forwarder forwarder() {
    return [this](std::string_view name, const json& args) {
      calls.push_back({std::string(name), args});
      return answer;
    };
  }
};

json respond(std::string_view line, FakeCompanion& companion) {
  std::optional<std::string> out = handle_mcp_line(line, companion.forwarder());
  EXPECT_TRUE(out.has_value()) << line;
  if (!out) return nullptr;
  EXPECT_EQ(out->find('\n'), std::string::npos);
  return json::parse(*out);
}

std::string version_answered(std::string_view params) {
  FakeCompanion companion;
  const std::string line =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":)" + std::string(params) + "}";
  return respond(line, companion)["result"]["protocolVersion"].get<std::string>();
}

TEST(McpProtocol, InitializeNegotiatesOneOfThreeVersions) {
  EXPECT_EQ(version_answered(R"({"protocolVersion":"2024-11-05"})"), "2024-11-05");
  EXPECT_EQ(version_answered(R"({"protocolVersion":"2025-03-26"})"), "2025-03-26");
  EXPECT_EQ(version_answered(R"({"protocolVersion":"2025-06-18"})"), "2025-06-18");
  EXPECT_EQ(version_answered(R"({"protocolVersion":"2099-01-01"})"), "2025-06-18");
  EXPECT_EQ(version_answered(R"({"protocolVersion":20241105})"), "2025-06-18");
  EXPECT_EQ(version_answered("{}"), "2025-06-18");
  EXPECT_EQ(version_answered("[1,2]"), "2025-06-18");

  FakeCompanion companion;
  EXPECT_EQ(*handle_mcp_line(R"({"jsonrpc":"2.0","id":7,"method":"initialize"})",
                             companion.forwarder()),
            R"({"id":7,"jsonrpc":"2.0","result":{"capabilities":{"tools":{}},)"
            R"("protocolVersion":"2025-06-18","serverInfo":{"name":"perchkin","version":"0.10.0"}}})");
}

TEST(McpProtocol, IdsAndNotifications) {
  FakeCompanion companion;
  const Forwarder forward = companion.forwarder();
  EXPECT_EQ(*handle_mcp_line(R"({"jsonrpc":"2.0","id":0,"method":"ping"})", forward),
            R"({"id":0,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(*handle_mcp_line(R"({"id":"a b","method":"ping"})", forward),
            R"({"id":"a b","jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(*handle_mcp_line(R"({"id":{"k":[1]},"method":"ping"})", forward),
            R"({"id":{"k":[1]},"jsonrpc":"2.0","result":{}})");
  // Notifications are never answered, not even for methods that would fail or call a tool.
  EXPECT_FALSE(handle_mcp_line(R"({"jsonrpc":"2.0","id":null,"method":"ping"})", forward));
  EXPECT_FALSE(handle_mcp_line(R"({"jsonrpc":"2.0","method":"notifications/initialized"})", forward));
  EXPECT_FALSE(handle_mcp_line(R"({"method":"nope"})", forward));
  EXPECT_FALSE(handle_mcp_line(
      R"({"method":"tools/call","params":{"name":"say","arguments":{"text":"hi"}}})", forward));
  EXPECT_TRUE(companion.calls.empty());
}

TEST(McpProtocol, LinesThatAreNotRequests) {
  FakeCompanion companion;
  const Forwarder forward = companion.forwarder();
  const std::string parse_error =
      R"({"error":{"code":-32700,"message":"parse error"},"id":null,"jsonrpc":"2.0"})";
  EXPECT_EQ(*handle_mcp_line("{not json", forward), parse_error);
  EXPECT_EQ(*handle_mcp_line(R"({"id":1,"method":"ping"} x)", forward), parse_error);
  EXPECT_EQ(*handle_mcp_line(std::string(200, '[') + std::string(200, ']'), forward), parse_error);
  EXPECT_EQ(mcp_parse_error(), parse_error);
  using namespace std::string_literals;
  EXPECT_EQ(*handle_mcp_line("{\"id\":1,\"method\":\"ping\"}\0garbage"s, forward), parse_error);

  for (const char* blank : {"", " ", "\r", "\t \r\n", "\n"}) {
    EXPECT_FALSE(handle_mcp_line(blank, forward)) << blank;
  }
  for (const char* no_method : {"5", "\"ping\"", "[1]", "null", R"({"id":1})",
                                R"({"id":1,"method":5})", R"({"id":1,"method":null})"}) {
    EXPECT_FALSE(handle_mcp_line(no_method, forward)) << no_method;
  }
  // Surrounding white space and a carriage return do not get in the way.
  EXPECT_EQ(*handle_mcp_line("  {\"id\":2,\"method\":\"ping\"}\r", forward),
            R"({"id":2,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(*handle_mcp_line(R"({"id":3,"method":"resources/list"})", forward),
            R"({"error":{"code":-32601,"message":"method not found: resources/list"},"id":3,"jsonrpc":"2.0"})");
}

json call(FakeCompanion& companion, std::string_view params) {
  const std::string line = R"({"jsonrpc":"2.0","id":9,"method":"tools/call","params":)" +
                           std::string(params) + "}";
  json response = respond(line, companion);
  EXPECT_FALSE(response.contains("error"));
  return response["result"];
}

json text_result(std::string_view text, bool is_error) {
  return json{{"content", json::array({{{"text", text}, {"type", "text"}}})}, {"isError", is_error}};
}

TEST(McpProtocol, ToolCallsForwardArgumentsUnchanged) {
  FakeCompanion companion;
  EXPECT_EQ(call(companion, R"({"name":"say","arguments":{"text":"hi","id":"all","x":[1]}})"),
            text_result("said", false));
  ASSERT_EQ(companion.calls.size(), 1u);
  EXPECT_EQ(companion.calls[0].name, "say");
  EXPECT_EQ(companion.calls[0].args, json::parse(R"({"text":"hi","id":"all","x":[1]})"));

  // Absent and null arguments both reach the companion as an empty object.
  call(companion, R"({"name":"status"})");
  call(companion, R"({"name":"status","arguments":null})");
  ASSERT_EQ(companion.calls.size(), 3u);
  EXPECT_EQ(companion.calls[1].args, json::object());
  EXPECT_EQ(companion.calls[2].args, json::object());

  companion.answer = CommandReply{false, "text is required"};
  EXPECT_EQ(call(companion, R"({"name":"say","arguments":{}})"),
            text_result("text is required", true));
  companion.answer = ForwardFailure{"buddy not reachable: connection reset"};
  EXPECT_EQ(call(companion, R"({"name":"walk","arguments":{"to":"left"}})"),
            text_result("buddy not reachable: connection reset", true));
}

TEST(McpProtocol, ToolCallsRefusedWithoutContactingTheCompanion) {
  FakeCompanion companion;
  EXPECT_EQ(call(companion, R"({"name":"quit","arguments":{}})"), text_result("unknown tool: quit", true));
  EXPECT_EQ(call(companion, R"({"name":"studio"})"), text_result("unknown tool: studio", true));
  EXPECT_EQ(call(companion, R"({"name":"Say"})"), text_result("unknown tool: Say", true));
  EXPECT_EQ(call(companion, R"({"name":5})"), text_result("unknown tool: ", true));
  EXPECT_EQ(call(companion, R"([1])"), text_result("unknown tool: ", true));
  for (const char* args : {"[1]", "\"text\"", "3", "true"}) {
    EXPECT_EQ(call(companion, R"({"name":"say","arguments":)" + std::string(args) + "}"),
              text_result("error: arguments must be an object", true))
        << args;
  }
  EXPECT_TRUE(companion.calls.empty());
}

TEST(McpProtocol, NineToolsWithTheirSchemas) {
  FakeCompanion companion;
  const json tools = respond(R"({"id":1,"method":"tools/list"})", companion)["result"]["tools"];
  ASSERT_EQ(tools.size(), 9u);
  const std::vector<std::string> names = {"say", "walk", "act", "leap", "draw",
                                          "turtle", "fx", "crew", "status"};
  const json id_schema = json::parse(R"({"type":["integer","string"]})");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const json& tool = tools[i];
    EXPECT_EQ(tool["name"], names[i]);
    EXPECT_TRUE(tool["description"].is_string());
    const json& schema = tool["inputSchema"];
    EXPECT_EQ(schema["type"], "object");
    ASSERT_TRUE(schema["required"].is_array()) << names[i];
    for (const json& r : schema["required"]) EXPECT_TRUE(schema["properties"].contains(r));
    if (names[i] == "status") {
      EXPECT_EQ(schema["properties"], json::object());
    } else {
      EXPECT_EQ(schema["properties"]["id"], id_schema) << names[i];
    }
  }
  EXPECT_EQ(tools[7]["inputSchema"]["required"], json::array());
  EXPECT_EQ(tools[8]["inputSchema"]["required"], json::array());
  EXPECT_EQ(tools[3]["inputSchema"]["required"], json::parse(R"(["x","y"])"));

  // Two full descriptors pin the exact wording and the shape of enums, arrays and unions.
  EXPECT_EQ(dump_compact(tools[1]),
            R"({"description":"Walk to 'cursor', 'left', 'right', 'center' or an x pixel.",)"
            R"("inputSchema":{"properties":{"id":{"type":["integer","string"]},)"
            R"("to":{"type":["string","number"]}},"required":["to"],"type":"object"},"name":"walk"})");
  EXPECT_EQ(dump_compact(tools[6]),
            R"({"description":"Screen effect at x,y (default: him).","inputSchema":{"properties":)"
            R"({"id":{"type":["integer","string"]},"kind":{"enum":["confetti","fireworks","hearts",)"
            R"("sparkle","snow"],"type":"string"},"x":{"type":"number"},"y":{"type":"number"}},)"
            R"("required":["kind"],"type":"object"},"name":"fx"})");
  const json& draw = tools[4]["inputSchema"]["properties"];
  EXPECT_EQ(draw["pts"], json::parse(R"({"items":{"items":{"type":"number"},"type":"array"},"type":"array"})"));
  EXPECT_EQ(draw["kind"]["enum"].size(), 14u);
  EXPECT_EQ(draw["kind"]["enum"].back(), "clear");
  const json& acts = tools[0]["inputSchema"]["properties"]["act"]["enum"];
  EXPECT_EQ(acts, tools[2]["inputSchema"]["properties"]["action"]["enum"]);
  EXPECT_EQ(acts.size(), 18u);
  EXPECT_EQ(tools[7]["inputSchema"]["properties"]["remove"], id_schema);
}

TEST(McpProtocol, MakeToolIdReplacesAnyGivenId) {
  const json tool = make_tool("t", "d", {{"id", {{"type", "number"}}}}, {}, true);
  EXPECT_EQ(tool["inputSchema"]["properties"]["id"],
            json::parse(R"({"type":["integer","string"]})"));
  EXPECT_EQ(make_tool("t", "d", json::object(), {}, false)["inputSchema"],
            json::parse(R"({"properties":{},"required":[],"type":"object"})"));
}

}  // namespace
}  // namespace perchkin
