#include "mcp/server.h"

#include "mcp/launch.h"

#include <string>

namespace perchkin {

namespace {

enum class LineRead { line, too_long, end };

// One line without its line feed; an over-long line is consumed to its end and reported. Read
// byte by byte so that NUL bytes inside a line cannot hide its end.
LineRead read_line(std::FILE* in, std::string& line, std::size_t max_bytes) {
  line.clear();
  bool too_long = false;
  int c = std::fgetc(in);
  if (c == EOF) return LineRead::end;
  for (; c != EOF && c != '\n'; c = std::fgetc(in)) {
    if (too_long) continue;
    if (line.size() >= max_bytes) {
      too_long = true;
      std::string().swap(line);
      continue;
    }
    line.push_back(static_cast<char>(c));
  }
  return too_long ? LineRead::too_long : LineRead::line;
}

// False once the reader has gone away.
bool write_line(std::FILE* out, const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                       std::fputc('\n', out) != EOF;
  return std::fflush(out) == 0 && written;
}

}  // namespace

void serve_mcp(std::FILE* in, std::FILE* out, const Forwarder& forward,
               std::size_t max_line_bytes) {
  std::string line;
  for (;;) {
    const LineRead got = read_line(in, line, max_line_bytes);
    if (got == LineRead::end) return;
    // Too long to be read whole: answered like any other text that is not JSON.
    std::optional<std::string> response =
        got == LineRead::too_long ? mcp_parse_error() : handle_mcp_line(line, forward);
    if (response && !write_line(out, *response)) return;
  }
}

int run_mcp_server(std::uint16_t port, const std::string& executable) {
  prepare_protocol_stdio();
  const LaunchHooks hooks = system_launch_hooks(port);
  const Forwarder forward = [&](std::string_view name, const json& args) {
    return forward_with_launch(name, args, hooks, executable);
  };
  serve_mcp(stdin, stdout, forward);
  return 0;
}

}  // namespace perchkin
