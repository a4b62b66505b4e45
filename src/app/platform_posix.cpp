// Linux: console, arguments, message boxes through zenity/kdialog/xmessage, fatal signals.
#include "app/platform.h"

#include "app/crash.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace perchkin {

void attach_parent_console() {}

std::vector<std::string> command_line_args(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

namespace {

bool run_dialog(std::vector<std::string> argv) {
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // 127: the shell-style "not found"; anything else means a dialog was shown.
  return WIFEXITED(status) && WEXITSTATUS(status) != 127;
}

}  // namespace

void show_message_box(std::string_view text) {
  std::string line(text);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return;
  if (run_dialog({"zenity", "--warning", "--title=Perchkin", "--no-markup", "--text=" + line}))
    return;
  if (run_dialog({"kdialog", "--title", "Perchkin", "--sorry", line})) return;
  run_dialog({"xmessage", "-center", "Perchkin: " + line});
}

namespace {

void on_fatal_signal(int sig) {
  const char* name = sig == SIGSEGV ? "SIGSEGV"
                     : sig == SIGBUS ? "SIGBUS"
                     : sig == SIGFPE ? "SIGFPE"
                     : sig == SIGILL ? "SIGILL"
                                     : "SIGABRT";
  report_crash(std::string("fatal signal ") + name + " (" + std::to_string(sig) + ")");
  // Let the default action end the process as the system expects.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void install_platform_crash_handlers() {
  struct sigaction action {};
  action.sa_handler = on_fatal_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &action, nullptr);
}

void begin_timer_resolution() {}
void end_timer_resolution() {}

const char* executable_name() { return "perchkin"; }

}  // namespace perchkin
