// Linux: starting the companion with posix_spawn in its own session.
#include "mcp/launch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

extern char** environ;

namespace perchkin {

namespace {

constexpr std::size_t kFirstLineBytes = 400;

// Reads the companion's standard error to its end, keeping the first line and draining the rest
// so it never blocks on a full pipe, then reaps it and records how it ended.
void watch_companion(pid_t pid, int error_pipe, std::shared_ptr<LaunchedCompanion> companion) {
  std::string first;
  bool line_done = false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(error_pipe, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && !line_done; ++i) {
      if (buffer[i] == '\n' || first.size() == kFirstLineBytes) line_done = true;
      else first.push_back(buffer[i]);
    }
  }
  ::close(error_pipe);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  companion->end(code, std::move(first));
}

}  // namespace

std::shared_ptr<LaunchedCompanion> launch_companion_in_background() {
  int error_pipe[2];
  if (::pipe2(error_pipe, O_CLOEXEC) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    ::close(error_pipe[0]);
    ::close(error_pipe[1]);
    return nullptr;
  }
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    ::close(error_pipe[0]);
    ::close(error_pipe[1]);
    return nullptr;
  }
  // Our own standard output is the protocol stream: the companion must neither write into it
  // nor keep it open after we end. Its standard error comes to us, for the reason it gives when
  // it cannot start.
  bool ready = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, error_pipe[1], 2) == 0;
  // A session of its own keeps it alive when the assistant's terminal or process group goes.
  // SIGPIPE stays ignored there, so its standard error going away with us never ends it.
  sigset_t defaults;
  sigemptyset(&defaults);
  ready = ready && posix_spawnattr_setsigdefault(&attr, &defaults) == 0 &&
          posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID) == 0;

  // The companion sees (and ps shows) our real path; /proc/self/exe stays the file we start.
  char program[] = "/proc/self/exe";
  char real_path[4096] = {};
  const ssize_t length = readlink(program, real_path, sizeof real_path - 1);
  char background[] = "--background";
  char* argv[] = {length > 0 ? real_path : program, background, nullptr};
  pid_t pid = 0;
  const bool started = ready && posix_spawn(&pid, program, &actions, &attr, argv, environ) == 0;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  ::close(error_pipe[1]);
  if (!started) {
    ::close(error_pipe[0]);
    return nullptr;
  }

  auto companion = std::make_shared<LaunchedCompanion>();
  try {
    std::thread(watch_companion, pid, error_pipe[0], companion).detach();
  } catch (...) {
    // No watcher: the companion still runs; its failures are only not reported early.
    ::close(error_pipe[0]);
  }
  return companion;
}

void prepare_protocol_stdio() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace perchkin
