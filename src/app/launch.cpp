#include "app/launch.h"

#include "settings/settings.h"
#include "base/text.h"

#include <algorithm>
#include <cmath>

namespace perchkin {

std::optional<std::uint16_t> parse_port(std::string_view text) {
  auto value = parse_unsigned(text);
  if (!value || *value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::optional<std::string> option_value(const std::vector<std::string>& args,
                                        std::string_view name) {
  auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end() || std::next(it) == args.end()) return std::nullopt;
  return *std::next(it);
}

bool has_flag(const std::vector<std::string>& args, std::string_view name) {
  return std::find(args.begin(), args.end(), name) != args.end();
}

std::uint16_t resolve_port(const std::vector<std::string>& args,
                           const std::optional<std::string>& env_port, PortSource* source) {
  PortSource ignored;
  PortSource& from = source ? *source : ignored;
  from = PortSource::option;
  if (auto value = option_value(args, "--port")) {
    if (auto port = parse_port(*value)) return *port;
  }
  from = PortSource::environment;
  if (env_port) {
    if (auto port = parse_port(*env_port)) return *port;
  }
  from = PortSource::default_port;
  return kDefaultPort;
}

std::string port_taken_message(std::uint16_t port, PortSource source) {
  const std::string number = std::to_string(port);
  switch (source) {
    case PortSource::option:
      return "Port " + number + " (chosen with --port) is being used by another app.\n"
             "Start Perchkin with a different --port number.";
    case PortSource::environment:
      return "Port " + number + " (from the PERCHKIN_PORT environment variable) is being used "
             "by another app.\nSet PERCHKIN_PORT to a different number.";
    case PortSource::default_port: break;
  }
  return "Port " + number + " is being used by another app.\nSet the PERCHKIN_PORT environment "
         "variable to a different number.";
}

LaunchMode launch_mode(const std::vector<std::string>& args) {
  if (has_flag(args, "--mcp")) return LaunchMode::mcp;
  if (has_flag(args, "--quit")) return LaunchMode::quit;
  return LaunchMode::companion;
}

LaunchOptions parse_launch_options(const std::vector<std::string>& args,
                                   const std::optional<std::string>& env_port) {
  LaunchOptions o;
  o.port = resolve_port(args, env_port, &o.port_source);
  if (auto value = option_value(args, "--scale")) o.scale = parse_double(*value);
  if (auto value = option_value(args, "--max-buddies")) {
    if (auto n = parse_unsigned(*value)) o.max_buddies = static_cast<std::size_t>(*n);
  }
  o.headless = has_flag(args, "--headless");
  o.unleashed = has_flag(args, "--unleashed");
  o.software = has_flag(args, "--software");
  o.background = has_flag(args, "--background");
  o.bench_menu = has_flag(args, "--bench-menu");
  if (auto value = option_value(args, "--bench")) {
    std::vector<std::size_t> sizes;
    std::string_view rest = *value;
    while (true) {
      const std::size_t comma = rest.find(',');
      const std::string piece = trim(rest.substr(0, comma));
      if (auto n = parse_unsigned(piece)) sizes.push_back(static_cast<std::size_t>(*n));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
    o.bench = std::move(sizes);
  }
  return o;
}

std::size_t crew_limit(std::size_t max_buddies) {
  return std::clamp<std::size_t>(max_buddies, 1, kDefaultMaxBuddies);
}

double scaled_size(double saved_size, std::optional<double> scale, bool unleashed) {
  if (!scale || std::isnan(*scale)) return saved_size;
  return round_half_away(std::clamp(*scale, 1.0, settings_limits(unleashed).size));
}

std::vector<std::string> split_windows_command_line(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };

  // The program name: quotes toggle, nothing is escaped.
  if (i < line.size()) {
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && is_blank(c)) {
        break;
      } else {
        program += c;
      }
    }
    args.push_back(std::move(program));
  }

  while (true) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size()) {
      const char c = line[i];
      if (c == '\\') {
        std::size_t slashes = 0;
        while (i < line.size() && line[i] == '\\') ++slashes, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
        continue;
      }
      if (c == '"') {
        // Inside quotes a doubled quote is a literal quote.
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (!quoted && is_blank(c)) break;
      arg += c;
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace perchkin
