// Linux: starting the companion with posix_spawn in its own session.
#include "mcp/launch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace perchkin {

bool launch_companion_in_background() {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  // Our own standard output is the protocol stream: the companion must neither write into it
  // nor keep it open after we end.
  bool ready = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0;
  // A session of its own keeps it alive when the assistant's terminal or process group goes;
  // SIGPIPE, which we ignore, is back to its default there.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ready = ready && posix_spawnattr_setsigdefault(&attr, &defaults) == 0 &&
          posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF) == 0;

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
  if (!started) return false;

  // Reap it whenever it ends so no zombie lingers while we keep serving.
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
    // No thread for the reaper: the companion still runs, it only stays a zombie once it ends.
  }
  return true;
}

void prepare_protocol_stdio() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace perchkin
