#include "app/entry.h"

#include "app/companion.h"
#include "app/crash.h"
#include "app/launch.h"
#include "app/platform.h"
#include "mcp/server.h"
#include "settings/env.h"
#include "settings/settings.h"

namespace perchkin {

int process_entry(int argc, char** argv, DesktopFactory desktop) {
  attach_parent_console();
  install_crash_hook();
  migrate_legacy_settings();
  const std::vector<std::string> args = command_line_args(argc, argv);
  const std::optional<std::string> env_port = env_text("PERCHKIN_PORT");

  switch (launch_mode(args)) {
    case LaunchMode::mcp: {
      // Only the environment may move the port here; --port is not read in this mode.
      return run_mcp_server(resolve_port({}, env_port), executable_name());
    }
    case LaunchMode::quit:
      return run_quit_client(resolve_port(args, env_port));
    case LaunchMode::companion:
      break;
  }
  return run_companion(parse_launch_options(args, env_port), desktop);
}

}  // namespace perchkin
