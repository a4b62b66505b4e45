#include "mcp/launch.h"

#include <string>
#include <thread>

namespace perchkin {

namespace {

ForwardResult from_send(SendResult sent) {
  if (auto* reply = std::get_if<CommandReply>(&sent)) return std::move(*reply);
  return ForwardFailure{"buddy not reachable: " + std::get<SendFailure>(sent).error};
}

bool is_refused(const SendResult& sent) {
  const auto* failure = std::get_if<SendFailure>(&sent);
  return failure && failure->refused;
}

std::optional<std::string> ended_because(const LaunchHooks& hooks) {
  return hooks.launch_failure ? hooks.launch_failure() : std::nullopt;
}

// How many retry intervals a broken connection waits for the companion's end to be recorded.
constexpr int kDyingChecks = 5;

}  // namespace

std::optional<std::string> LaunchedCompanion::failure() {
  std::lock_guard lock(mutex);
  if (!ended) return std::nullopt;
  const std::string code = "exit code " + std::to_string(exit_code);
  return first_error_line.empty() ? "it ended with " + code
                                  : first_error_line + " (" + code + ")";
}

ForwardResult forward_with_launch(std::string_view name, const json& args,
                                  const LaunchHooks& hooks, std::string_view executable) {
  SendResult sent = hooks.send(name, args);
  if (!is_refused(sent)) return from_send(std::move(sent));

  const std::string did_not_start =
      "buddy did not start; try running " + std::string(executable);
  // Nothing was started, so waiting out the 8 s would only delay the same answer.
  if (!hooks.launch()) return ForwardFailure{did_not_start};

  const auto launched = hooks.now();
  while (hooks.now() - launched < kLaunchPatience) {
    hooks.sleep(kLaunchRetryInterval);
    sent = hooks.send(name, args);
    if (std::holds_alternative<CommandReply>(sent)) return from_send(std::move(sent));
    // A companion that has ended will not answer; what it said is the answer.
    if (auto failure = ended_because(hooks)) return ForwardFailure{"buddy did not start: " + *failure};
    if (is_refused(sent)) continue;
    // A companion that takes the connection while it is failing closes it as it dies; its
    // reason, recorded a moment later, says more than the broken connection. The call is not
    // sent again: it may have been read.
    for (int i = 0; i < kDyingChecks && hooks.launch_failure; ++i) {
      hooks.sleep(kLaunchRetryInterval);
      if (auto failure = ended_because(hooks)) return ForwardFailure{"buddy did not start: " + *failure};
    }
    return from_send(std::move(sent));
  }
  return ForwardFailure{did_not_start};
}

LaunchHooks system_launch_hooks(std::uint16_t port) {
  LaunchHooks hooks;
  hooks.send = [port](std::string_view name, const json& args) {
    return send_command(port, name, args);
  };
  auto launched = std::make_shared<std::shared_ptr<LaunchedCompanion>>();
  hooks.launch = [launched] {
    *launched = launch_companion_in_background();
    return *launched != nullptr;
  };
  hooks.launch_failure = [launched]() -> std::optional<std::string> {
    if (!*launched) return std::nullopt;
    return (*launched)->failure();
  };
  hooks.now = [] { return std::chrono::steady_clock::now(); };
  hooks.sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
  return hooks;
}

}  // namespace perchkin
