// The Linux open-file dialog: zenity, else kdialog, run as a child process whose standard output
// carries the chosen path.
#include "wear/wear_backend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace perchkin {

namespace {

using Picked = Result<std::optional<std::filesystem::path>>;

std::optional<std::string> find_program(const char* name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    if (!folder.empty()) {
      std::string candidate = folder + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

// Runs the program and collects its standard output (at most 64 KiB). Null when it could not
// start; otherwise the exit status and the output.
struct RunResult {
  int status = -1;
  std::string output;
};
std::optional<RunResult> run(const std::string& program, const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    return std::nullopt;
  }
  RunResult result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (result.output.size() < 65536) result.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Both spellings, as the dialogs match patterns case-sensitively and Windows does not.
std::string pattern_list(const std::vector<std::string>& patterns) {
  std::string out;
  for (const std::string& p : patterns) {
    std::string upper = p;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const std::string* v : {&p, static_cast<const std::string*>(&upper)}) {
      if (!out.empty()) out += ' ';
      out += *v;
    }
  }
  return out;
}

class PosixFileChooser final : public FileChooser {
 public:
  Picked choose(const std::string& title, const std::string& filter_name,
                const std::vector<std::string>& patterns) override {
    const std::string list = pattern_list(patterns);
    std::optional<RunResult> ran;
    if (auto zenity = find_program("zenity")) {
      ran = run(*zenity, {"--file-selection", "--title=" + title,
                          "--file-filter=" + filter_name + " | " + list});
    } else if (auto kdialog = find_program("kdialog")) {
      ran = run(*kdialog, {"--title", title, "--getopenfilename", ".",
                           filter_name + " (" + list + ")"});
    } else {
      return Picked::fail("Choosing an image needs zenity or kdialog. Please install one of them.");
    }
    if (!ran) return Picked::fail("The file dialog could not be started.");
    // Anything but a clean pick (cancel, no display) counts as no choice.
    if (ran->status != 0) return Picked::success(std::nullopt);
    std::string path = ran->output;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    if (path.empty() || path.find('\n') != std::string::npos)
      return Picked::success(std::nullopt);
    return Picked::success(std::filesystem::path(path));
  }
};

}  // namespace

std::unique_ptr<FileChooser> make_file_chooser() { return std::make_unique<PosixFileChooser>(); }

}  // namespace perchkin
