// Linux: console, arguments, message boxes through zenity/kdialog/xmessage, fatal signals.
#include "app/platform.h"

#include <cerrno>
#include <csignal>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <string>
#include <string_view>
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

CrashReport crash_report = nullptr;  // set once, before the handlers go in

void on_fatal_signal(int sig) {
  const char* name = sig == SIGSEGV ? "SIGSEGV"
                     : sig == SIGBUS ? "SIGBUS"
                     : sig == SIGFPE ? "SIGFPE"
                     : sig == SIGILL ? "SIGILL"
                                     : "SIGABRT";
  if (crash_report)
    crash_report(std::string("fatal signal ") + name + " (" + std::to_string(sig) + ")");
  // Let the default action end the process as the system expects.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

namespace {

std::string symbol_name(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> plain(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && plain ? std::string(plain.get()) : std::string(mangled);
}

}  // namespace

std::string throw_site() {
  void* frames[64];
  const int count = backtrace(frames, 64);
  // A return address points just past its call, and past the end of the function when the
  // callee never returns (as __cxa_throw's call of std::terminate); one byte back lies inside.
  const auto lookup = [&](int i, Dl_info& info) {
    info = {};
    return dladdr(static_cast<char*>(frames[i]) - 1, &info) != 0;
  };
  // The runtime's frames run from the handler down to __cxa_throw (or __cxa_rethrow); the
  // library's own throw helpers (std::__throw_out_of_range and the like) come next.
  Dl_info info{};
  int site = -1;
  for (int i = 0; i < count && site < 0; ++i) {
    if (!lookup(i, info) || info.dli_sname == nullptr) continue;
    const std::string_view name = info.dli_sname;
    if (name == "__cxa_throw" || name == "__cxa_rethrow") site = i + 1;
  }
  if (site < 0) return {};
  for (; site < count; ++site) {
    if (!lookup(site, info)) return {};
    if (info.dli_sname == nullptr ||
        std::string_view(info.dli_sname).find("__throw_") == std::string_view::npos) {
      break;
    }
  }
  if (site >= count || info.dli_fname == nullptr) return {};
  const auto address = reinterpret_cast<std::uintptr_t>(frames[site]) - 1;
  const std::string_view path = info.dli_fname;
  char text[64];
  std::snprintf(text, sizeof text, "+0x%zx",
                static_cast<std::size_t>(address - reinterpret_cast<std::uintptr_t>(info.dli_fbase)));
  std::string out = std::string(path.substr(path.rfind('/') + 1)) + text;
  if (info.dli_sname != nullptr) {
    std::snprintf(text, sizeof text, "+0x%zx",
                  static_cast<std::size_t>(address -
                                           reinterpret_cast<std::uintptr_t>(info.dli_saddr)));
    out += " (" + symbol_name(info.dli_sname) + text + ")";
  }
  return out;
}

void install_platform_crash_handlers(CrashReport report) {
  crash_report = report;
  struct sigaction action {};
  action.sa_handler = on_fatal_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &action, nullptr);
}

void begin_timer_resolution() {}
void end_timer_resolution() {}

const char* executable_name() { return "perchkin"; }
const char* graphics_requirement() { return "Perchkin needs an X11 desktop, or a Wayland one with the layer shell."; }

}  // namespace perchkin
