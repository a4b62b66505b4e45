// The command line: which way in, and the companion's launch options.
#pragma once

#include "base/vocabulary.h"
#include "ipc/port.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

// Where the port came from, for a message that names the right way to change it.
enum class PortSource : std::uint8_t { default_port, option, environment };

struct LaunchOptions {
  std::uint16_t port = kDefaultPort;
  PortSource port_source = PortSource::default_port;
  std::optional<double> scale;
  std::size_t max_buddies = kDefaultMaxBuddies;
  std::optional<std::vector<std::size_t>> bench;
  bool unleashed = false;
  bool software = false;
  bool background = false;
  bool headless = false;
  bool bench_menu = false;
};

enum class LaunchMode { companion, quit, mcp };

// "+"? digits, at most 65535.
std::optional<std::uint16_t> parse_port(std::string_view text);
// --port, else PERCHKIN_PORT (already read as UTF-8; nullopt when unset or not Unicode), else
// the default.
std::uint16_t resolve_port(const std::vector<std::string>& args,
                           const std::optional<std::string>& env_port,
                           PortSource* source = nullptr);
// The message box text when another program holds the port.
std::string port_taken_message(std::uint16_t port, PortSource source);
// The value after the first argument equal to name; nullopt when absent or last.
std::optional<std::string> option_value(const std::vector<std::string>& args,
                                        std::string_view name);
bool has_flag(const std::vector<std::string>& args, std::string_view name);

LaunchMode launch_mode(const std::vector<std::string>& args);
LaunchOptions parse_launch_options(const std::vector<std::string>& args,
                                   const std::optional<std::string>& env_port);

// The crew limit of a run: 0 counts as 1, at most 200.
std::size_t crew_limit(std::size_t max_buddies);
// The buddy size for a --scale value: clamped to 1..12 (1..300 unleashed) and rounded. A value
// that is not a number keeps the saved size.
double scaled_size(double saved_size, std::optional<double> scale, bool unleashed);

// Splits a Windows command line the way the C runtime does: quotes group, backslashes escape
// a following quote, spaces and tabs separate. The first argument (the program) takes quotes
// literally up to the closing one.
std::vector<std::string> split_windows_command_line(std::string_view line);

}  // namespace perchkin
