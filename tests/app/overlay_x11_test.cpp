// The companion on a real X desktop (the test run's Xvfb with openbox and picom): it starts
// without --headless, its buddies show where it says they stand, the rest of the screen shows
// the desktop unchanged, and clicks away from the buddies reach the windows below.
#include <gtest/gtest.h>

#include "base/json.h"
#include "ipc/port.h"
#include "settings/settings.h"
#include "win/shell_x11.h"
#include "win/session_x11.h"

#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

// Under the sanitizer build: the GL driver and Xlib keep allocations they never free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libGLX_mesa\nleak:libEGL_mesa\nleak:swrast_dri\nleak:libgallium\nleak:libLLVM\n"
         "leak:libglapi\nleak:libX11\nleak:libxcb\nleak:libdrm\n";
}

namespace perchkin {
namespace {

using namespace std::chrono_literals;

std::uint16_t free_port() {
  Result<Listener> listener = bind_listener(0);
  EXPECT_TRUE(listener.ok()) << listener.error;
  const std::uint16_t port = listener->port;
  close_listener(*listener);
  return port;
}

pid_t spawn(std::vector<std::string> args, const std::string& err_path) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int wait_exit(pid_t pid, std::chrono::milliseconds limit) {
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

std::optional<json> status_of(std::uint16_t port) {
  auto sent = send_command(port, "status", json::object());
  const auto* reply = std::get_if<CommandReply>(&sent);
  if (reply == nullptr || !reply->ok) return std::nullopt;
  return parse_json(reply->msg);
}

// The root window's pixels as 0xRRGGBB.
struct Screen {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<std::size_t>(y) * width + x];
  }
};

Screen grab_screen(X11Session& s) {
  Display* d = s.display();
  XWindowAttributes a{};
  XGetWindowAttributes(d, s.root(), &a);
  Screen out;
  out.width = a.width;
  out.height = a.height;
  XImage* img = XGetImage(d, s.root(), 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (img == nullptr) return out;
  out.pixels.resize(static_cast<std::size_t>(a.width) * a.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      out.pixels[static_cast<std::size_t>(y) * a.width + x] =
          static_cast<std::uint32_t>(XGetPixel(img, x, y) & 0xFFFFFF);
  XDestroyImage(img);
  return out;
}

class OverlayDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
    if (!compositor_running(*session)) GTEST_SKIP() << "no compositor on this display";
  }
  void TearDown() override {
    if (pid > 0) {
      (void)send_command(port, "quit", json::object());
      EXPECT_EQ(wait_exit(pid, 10s), 0);
    }
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }

  void start_companion() {
    dir = ::testing::TempDir() + "perchkin-overlay-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    setenv("PERCHKIN_SETTINGS", (dir + "/settings.json").c_str(), 1);
    // The companion's GL driver and Xlib keep memory until exit; its leak report is not ours.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    port = free_port();
    pid = spawn({PERCHKIN_EXE, "--port", std::to_string(port)}, dir + "/err.txt");
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 200 && !status_of(port); ++i) std::this_thread::sleep_for(25ms);
    ASSERT_TRUE(status_of(port)) << "the companion does not answer";
  }

  // Waits until every buddy stands on something, and returns the status.
  json settled_status() {
    json status;
    for (int i = 0; i < 100; ++i) {
      status = status_of(port).value_or(json::object());
      bool all = status.contains("buddies") && !status["buddies"].empty();
      for (const json& b : status.value("buddies", json::array()))
        all = all && b.value("on", "air") != "air" && b.value("mode", "") != "fall";
      if (all) break;
      std::this_thread::sleep_for(50ms);
    }
    return status;
  }

  std::unique_ptr<X11Session> session;
  std::string dir;
  std::uint16_t port = 0;
  pid_t pid = -1;
};

TEST_F(OverlayDesktop, BuddiesShowWhereTheyStandAndTheRestOfTheDesktopIsUnchanged) {
  start_companion();
  ASSERT_TRUE(send_command(port, "crew", json{{"add", 3}}).index() == 0);
  const json status = settled_status();
  std::this_thread::sleep_for(300ms);
  const Screen after = grab_screen(*session);

  // The desktop without the companion, once it has quit (before it started, the compositor may
  // still have been painting its first frames).
  (void)send_command(port, "quit", json::object());
  EXPECT_EQ(wait_exit(pid, 10s), 0);
  pid = -1;
  std::this_thread::sleep_for(300ms);
  const Screen without = grab_screen(*session);
  const double scale = session->scale();
  for (const json& b : status["buddies"]) {
    const int x = b["x"].get<int>(), y = b["y"].get<int>();
    // The body is the sprite's middle: feet at (x, y), 16 x 10 cells of `unit` pixels.
    const int unit = std::max(1, static_cast<int>(std::lround(Settings{}.size * scale)));
    int changed = 0, total = 0;
    // An act may lift the body by a few cells (a hop).
    for (int py = y - 14 * unit; py < y - unit; ++py)
      for (int px = x - 4 * unit; px < x + 4 * unit; ++px, ++total)
        changed += after.at(px, py) != without.at(px, py);
    EXPECT_GT(changed * 4, total) << "buddy " << b.dump() << " is not visible";
  }
  // Far above the floor nothing is drawn: the desktop shows through exactly.
  int differing = 0;
  for (int py = 0; py < after.height / 2; py += 7)
    for (int px = 0; px < after.width; px += 7) differing += after.at(px, py) != without.at(px, py);
  EXPECT_EQ(differing, 0) << std::hex << "e.g. at (100, 100) " << without.at(100, 100) << " became "
                         << after.at(100, 100);
}

TEST_F(OverlayDesktop, ClicksAwayFromTheBuddiesReachTheWindowBelow) {
  Display* d = session->display();
  // A window of our own in the middle of the screen, waiting for a click.
  Window target = XCreateSimpleWindow(d, session->root(), 300, 200, 300, 200, 0, 0, 0xFFFFFF);
  XSelectInput(d, target, ButtonPressMask | ExposureMask);
  XMapRaised(d, target);
  XSync(d, False);
  start_companion();
  (void)settled_status();
  // The window manager placed it where it liked: click its middle.
  int cx = 0, cy = 0;
  Window child = None;
  XTranslateCoordinates(d, target, session->root(), 150, 100, &cx, &cy, &child);

  // The pointer is moved and clicked through the XTEST extension, as a user would.
  ASSERT_EQ(wait_exit(spawn({"xdotool", "mousemove", std::to_string(cx), std::to_string(cy),
                             "click", "1"},
                            "/dev/null"),
                      10s),
            0);
  bool clicked = false;
  for (int i = 0; i < 100 && !clicked; ++i) {
    while (XPending(d) > 0) {
      XEvent ev;
      XNextEvent(d, &ev);
      if (ev.type == ButtonPress && ev.xbutton.window == target) clicked = true;
    }
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(clicked) << "the overlay took the click";
  XDestroyWindow(d, target);
  XSync(d, False);
}

}  // namespace
}  // namespace perchkin
