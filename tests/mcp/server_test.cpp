#include "mcp/server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace perchkin {
namespace {

// Runs the loop over the given input and returns everything it wrote.
std::string serve(const std::string& input, const Forwarder& forward, std::size_t max_line) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  EXPECT_TRUE(in && out);
  if (!in || !out) return {};
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  serve_mcp(in, out, forward, max_line);
  std::string written;
  std::rewind(out);
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) written.append(buffer, n);
  std::fclose(in);
  std::fclose(out);
  return written;
}

TEST(McpServer, AnswersEachRequestLineInOrder) {
  int calls = 0;
  const Forwarder forward = [&](std::string_view name, const json&) -> ForwardResult {
    ++calls;
    return CommandReply{true, std::string(name) + " done"};
  };
  using namespace std::string_literals;
  // A NUL byte must not hide the end of its line and swallow the next request.
  const std::string input =
      "\n"
      "{\"id\":1,\"method\":\"ping\"}\r\n"
      "   \r\n"
      "{\"method\":\"notifications/initialized\"}\n"
      "{oops\n"
      "{\"id\":1,\0\"method\":\"ping\"}\n"
      "{\"id\":2,\"method\":\"tools/call\",\"params\":{\"name\":\"walk\",\"arguments\":{\"to\":3}}}"s;
  EXPECT_EQ(serve(input, forward, 1024),
            "{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{}}\n"
            "{\"error\":{\"code\":-32700,\"message\":\"parse error\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n"
            "{\"error\":{\"code\":-32700,\"message\":\"parse error\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n"
            "{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"walk done\","
            "\"type\":\"text\"}],\"isError\":false}}\n");
  EXPECT_EQ(calls, 1);
}

TEST(McpServer, OverlongLineIsSkippedAsAParseError) {
  const Forwarder forward = [](std::string_view, const json&) -> ForwardResult {
    return CommandReply{true, "ok"};
  };
  // Longer than the limit: skipped to its end, and the next line is still served.
  const std::string padding(200000, ' ');
  const std::string input = "{\"id\":1,\"method\":\"ping\"" + padding + "}\n{\"id\":2,\"method\":\"ping\"}\n";
  EXPECT_EQ(serve(input, forward, 100000),
            "{\"error\":{\"code\":-32700,\"message\":\"parse error\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n"
            "{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
  // Under the limit the same line is a request like any other.
  EXPECT_EQ(serve(input, forward, 300000),
            "{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{}}\n{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
}

TEST(McpServer, StopsWhenTheOutputIsGone) {
  int calls = 0;
  const Forwarder forward = [&](std::string_view, const json&) -> ForwardResult {
    ++calls;
    return CommandReply{true, "said"};
  };
  std::FILE* in = std::tmpfile();
  ASSERT_NE(in, nullptr);
  const std::string call = R"({"id":1,"method":"tools/call","params":{"name":"say"}})" "\n";
  for (int i = 0; i < 3; ++i) std::fputs(call.c_str(), in);
  std::rewind(in);
  // A stream opened for reading only stands for a reader that has gone away.
  const std::string path = ::testing::TempDir() + "mcp_closed_output.txt";
  std::FILE* seed = std::fopen(path.c_str(), "w");
  ASSERT_NE(seed, nullptr);
  std::fclose(seed);
  std::FILE* out = std::fopen(path.c_str(), "r");
  ASSERT_NE(out, nullptr);
  serve_mcp(in, out, forward);
  EXPECT_EQ(calls, 1);
  std::fclose(out);
  std::fclose(in);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace perchkin
