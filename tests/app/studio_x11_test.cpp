// Perchkin Studio in the whole companion on a real X desktop (the test run's Xvfb with openbox):
// the studio command and a second launch open one managed window of the right name and size,
// a click on a control through xdotool changes the setting and settings.json has it half a
// second later, and the window manager's close button closes it.
#include <gtest/gtest.h>

#include "base/json.h"
#include "child_process.h"
#include "x11_desktop.h"
#include "ipc/port.h"
#include "settings/settings.h"
#include "studio/studio.h"
#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace perchkin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::poll;
using test::xdotool;

// Where the pages draw a label, found by drawing the page on a recording canvas at scale 1.
std::optional<CanvasPoint> label_position(int page, const std::string& label) {
  RecordingCanvas canvas;
  StudioState state;
  studio_open_page(state, page);
  StudioInput input;
  Settings settings;
  StudioContext ctx;
  ctx.crew_size = 1;
  (void)studio_frame(canvas, state, input, settings, ctx);
  const std::string prefix = "text \"" + label + "\" ";
  for (const std::string& call : canvas.calls) {
    if (call.rfind(prefix, 0) != 0) continue;
    float x = 0, y = 0;
    if (std::sscanf(call.c_str() + prefix.size(), "%f,%f", &x, &y) == 2)
      return CanvasPoint{x, y};
  }
  return std::nullopt;
}

class StudioDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
    d = session->display();
    if (!session->read_long(session->root(), session->atoms().net_supporting_wm_check, XA_WINDOW))
      GTEST_SKIP() << "no window manager on this display";
    ASSERT_EQ(std::system("command -v xdotool >/dev/null"), 0) << "xdotool is needed";
    dir = ::testing::TempDir() + "perchkin-studio-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/settings.json") << "{}";
    setenv("PERCHKIN_SETTINGS", (dir + "/settings.json").c_str(), 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    port = test::free_port();
    pid = test::spawn({PERCHKIN_EXE, "--port", std::to_string(port)}, dir + "/err.txt");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(poll<bool>(20s, [&]() -> std::optional<bool> {
      if (reply("status")) return true;
      return std::nullopt;
    })) << "no answer\n" << errors();
  }
  void TearDown() override {
    if (pid > 0) {
      (void)send_command(port, "quit", json::object());
      EXPECT_EQ(test::wait_exit(pid, 10s), 0) << errors();
    }
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }

  std::string errors() const { return file(dir + "/err.txt"); }
  static std::string file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::optional<CommandReply> reply(const std::string& name, const json& args = json::object()) {
    auto sent = send_command(port, name, args);
    if (const auto* r = std::get_if<CommandReply>(&sent)) return *r;
    return std::nullopt;
  }

  std::vector<Window> studio_windows() { return test::client_windows(*session, "PerchkinStudio"); }
  Window wait_window() {
    return poll<Window>(10s, [&]() -> std::optional<Window> {
             const auto list = studio_windows();
             XWindowAttributes a{};
             if (list.size() == 1 && XGetWindowAttributes(d, list[0], &a) != 0 &&
                 a.map_state == IsViewable)
               return list[0];
             return std::nullopt;
           })
        .value_or(None);
  }

  std::unique_ptr<X11Session> session;
  Display* d = nullptr;
  std::string dir;
  std::uint16_t port = 0;
  pid_t pid = -1;
};

TEST_F(StudioDesktop, TheCommandOpensOneManagedWindowAndAClickIsSavedHalfASecondLater) {
  auto r = reply("studio", {{"page", "general"}});
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->ok) << r->msg;
  EXPECT_EQ(r->msg, "studio open");
  const Window w = wait_window();
  ASSERT_NE(w, None) << errors();
  EXPECT_EQ(session->read_string(w, session->atoms().net_wm_name, 64), "Perchkin Studio");
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  EXPECT_EQ(a.width, 920);
  EXPECT_EQ(a.height, 660);
  r = reply("studio", {{"page", "general"}});
  ASSERT_TRUE(r && r->ok);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(studio_windows().size(), 1u) << "opening again raises the one window";

  // "Chatty" is on by default; a click on its row turns it off.
  const auto chatty = label_position(kStudioGeneral, "Chatty");
  ASSERT_TRUE(chatty);
  const std::string x = std::to_string(static_cast<int>(chatty->x + 40.0f));
  const std::string y = std::to_string(static_cast<int>(chatty->y + 20.0f));
  ASSERT_TRUE(xdotool({"mousemove", "--window", std::to_string(w), "--sync", x, y}));
  std::this_thread::sleep_for(150ms);
  const auto clicked = Clock::now();
  ASSERT_TRUE(xdotool({"click", "1"}));
  const auto saved = poll<Clock::time_point>(5s, [&]() -> std::optional<Clock::time_point> {
    const std::string text = file(dir + "/settings.json");
    if (text.find("\"chatty\": false") != std::string::npos) return Clock::now();
    return std::nullopt;
  });
  ASSERT_TRUE(saved) << file(dir + "/settings.json") << errors();
  EXPECT_GE(*saved - clicked, 450ms) << "saved half a second after the change, not at once";

  // The window manager's close button closes it.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = session->atoms().wm_protocols;
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(session->atoms().wm_delete_window);
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
  EXPECT_TRUE(poll<bool>(5s, [&]() -> std::optional<bool> {
    if (studio_windows().empty()) return true;
    return std::nullopt;
  }));
}

TEST_F(StudioDesktop, ASecondLaunchOpensTheFirstOnesStudio) {
  const pid_t second = test::spawn({PERCHKIN_EXE, "--port", std::to_string(port)});
  ASSERT_GT(second, 0);
  EXPECT_EQ(test::wait_exit(second, 20s), 0) << "handed over without a message";
  EXPECT_NE(wait_window(), None) << errors();
}

}  // namespace
}  // namespace perchkin
