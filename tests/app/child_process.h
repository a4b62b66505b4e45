// Starting and ending child processes in the app tests: the companion itself, xdotool, xterms.
// POSIX only; every wait has a deadline, and a child that outlives it is killed.
#pragma once

#include "ipc/port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace perchkin::test {

// A port nothing listens on right now.
inline std::uint16_t free_port() {
  Result<Listener> listener = bind_listener(0);
  EXPECT_TRUE(listener.ok()) << listener.error;
  const std::uint16_t port = listener->port;
  close_listener(*listener);
  return port;
}

// Starts args[0] (looked up in PATH) with standard input from /dev/null and the outputs in the
// named files; -1 when it cannot start.
inline pid_t spawn(std::vector<std::string> args, const std::string& err_path = "/dev/null",
                   const std::string& out_path = "/dev/null") {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit code (128 + signal for a killed child), or -1 when it did not end in time; it is
// then killed.
inline int wait_exit(pid_t pid, std::chrono::milliseconds limit) {
  using namespace std::chrono_literals;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(20ms);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

}  // namespace perchkin::test
