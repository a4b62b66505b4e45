// The companion on a real X desktop (the test run's Xvfb with openbox and picom): it starts
// without --headless, its buddies show where it says they stand, the rest of the screen shows
// the desktop unchanged, clicks away from the buddies reach the windows below, and what the
// port asks for (a bubble, a drawn line, effects and hazards) appears where it should.
#include <gtest/gtest.h>

#include "base/json.h"
#include "child_process.h"
#include "ipc/port.h"
#include "settings/settings.h"
#include "win/shell_x11.h"
#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <thread>
#include <vector>
#include <unistd.h>

// Under the sanitizer build: the GL driver and Xlib keep allocations they never free.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libGLX_mesa\nleak:libEGL_mesa\nleak:swrast_dri\nleak:libgallium\nleak:libLLVM\n"
         "leak:libglapi\nleak:libX11\nleak:libxcb\nleak:libdrm\n";
}

namespace perchkin {
namespace {

using namespace std::chrono_literals;
using test::free_port;
using test::spawn;
using test::wait_exit;

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

// Pixels inside [x0, x1) x [y0, y1) for which `test` holds.
template <typename F>
int count_pixels(const Screen& s, int x0, int y0, int x1, int y1, F&& test) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += test(s.at(x, y), x, y) ? 1 : 0;
  return n;
}

// Where each buddy stands, by id.
std::vector<std::array<int, 3>> places(const json& status) {
  std::vector<std::array<int, 3>> out;
  for (const json& b : status.value("buddies", json::array()))
    out.push_back({b.value("id", -1), b.value("x", 0), b.value("y", 0)});
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

  // Three buddies are seen where they report standing, and the desktop far above them is
  // exactly as it was without the companion.
  void expect_buddies_where_they_stand() {
    ASSERT_TRUE(send_command(port, "crew", json{{"add", 3}}).index() == 0);
    // A landing buddy may slide or walk off: use a picture between two statuses that agree, with
    // time for the compositor to show the last frame.
    json status;
    Screen after;
    for (int tries = 0; tries < 20; ++tries) {
      const json before = settled_status();
      std::this_thread::sleep_for(300ms);
      after = grab_screen(*session);
      status = status_of(port).value_or(json::object());
      if (places(status) == places(before)) break;
    }

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

  std::unique_ptr<X11Session> session;
  std::string dir;
  std::uint16_t port = 0;
  pid_t pid = -1;
};

TEST_F(OverlayDesktop, BuddiesShowWhereTheyStandAndTheRestOfTheDesktopIsUnchanged) {
  start_companion();
  // OpenGL was tried and found drawing on the processor without its driver entering the
  // companion: llvmpipe's code alone is some 50 MB resident.
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  const std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  EXPECT_EQ(mapped.find("libLLVM"), std::string::npos);
  EXPECT_EQ(mapped.find("_dri.so"), std::string::npos);
  std::ifstream err(dir + "/err.txt");
  const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(said.find("OpenGL draws on the processor here (llvmpipe"), std::string::npos) << said;
  expect_buddies_where_they_stand();
}

// Under Xvfb OpenGL is llvmpipe, where the software presenter runs unless OpenGL is asked for.
TEST_F(OverlayDesktop, TheSameWithOpenGLKeptOnASoftwareRasterizer) {
  setenv("PERCHKIN_OPENGL", "1", 1);
  start_companion();
  unsetenv("PERCHKIN_OPENGL");
  expect_buddies_where_they_stand();
  std::ifstream err(dir + "/err.txt");
  const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(said.find("drawing with OpenGL"), std::string::npos) << said;
}

// Grabs the screen until `ok` holds for it, for up to `limit`; the last grab either way.
template <typename F>
Screen grab_until(X11Session& s, std::chrono::milliseconds limit, F&& ok) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  Screen shot = grab_screen(s);
  while (!ok(shot) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
    shot = grab_screen(s);
  }
  return shot;
}

bool sent_ok(std::uint16_t port, const std::string& cmd, const json& args) {
  auto sent = send_command(port, cmd, args);
  const auto* reply = std::get_if<CommandReply>(&sent);
  return reply != nullptr && reply->ok;
}

TEST_F(OverlayDesktop, ABubbleShowsAboveTheSpeakerAndARedLineAlongItsPoints) {
  start_companion();
  const json status = settled_status();
  const Screen before = grab_screen(*session);
  ASSERT_TRUE(sent_ok(port, "say", json{{"text", "hello from the overlay"}}));
  const json b = status["buddies"][0];
  const int x = b["x"].get<int>(), y = b["y"].get<int>();
  const int unit = std::max(1, static_cast<int>(std::lround(Settings{}.size * session->scale())));
  // White bubble pixels, where the desktop was not white, above the head (the tail's tip is 12
  // cells above the feet); the box may be pushed in from the screen's edges.
  const auto bubble_pixels = [&](const Screen& s) {
    return count_pixels(s, x - 200, y - 12 * unit - 90, x + 200, y - 12 * unit,
                        [&](std::uint32_t c, int px, int py) {
                          return c == 0xFFFFFF && before.at(px, py) != 0xFFFFFF;
                        });
  };
  const Screen talking = grab_until(*session, 5s, [&](const Screen& s) { return bubble_pixels(s) > 1500; });
  EXPECT_GT(bubble_pixels(talking), 1500) << "no bubble above the buddy at " << x << ", " << y;

  // A red line of width 8 through three points: the pencil flies there and draws it; then the
  // middle of each segment is pure red.
  const int w = talking.width, h = talking.height;
  const int p[3][2] = {{w / 8, h / 3}, {w / 3, h / 4}, {w / 2, h / 3}};
  ASSERT_TRUE(sent_ok(port, "draw",
                      json{{"kind", "line"},
                           {"pts", json::array({json::array({p[0][0], p[0][1]}), json::array({p[1][0], p[1][1]}),
                                                json::array({p[2][0], p[2][1]})})},
                           {"color", "red"},
                           {"width", 8},
                           {"ttl", 60}}));
  const auto red_along = [&](const Screen& s) {
    int red = 0;
    for (int seg = 0; seg < 2; ++seg)
      for (double t : {0.25, 0.5, 0.75}) {
        const int px = static_cast<int>(std::lround(p[seg][0] + t * (p[seg + 1][0] - p[seg][0])));
        const int py = static_cast<int>(std::lround(p[seg][1] + t * (p[seg + 1][1] - p[seg][1])));
        red += s.at(px, py) == 0xFF0000;
      }
    return red;
  };
  const Screen drawn = grab_until(*session, 20s, [&](const Screen& s) { return red_along(s) == 6; });
  EXPECT_EQ(red_along(drawn), 6);
  // Away from the line (well below it) the desktop shows through.
  EXPECT_EQ(drawn.at(w / 3, h / 4 + 60), before.at(w / 3, h / 4 + 60));
}

TEST_F(OverlayDesktop, FireworksRainAndFireAreVisible) {
  start_companion();
  (void)settled_status();
  const Screen before = grab_screen(*session);
  const int w = before.width, h = before.height;
  const auto changed_near = [&](const Screen& s, int cx, int cy, int half) {
    return count_pixels(s, cx - half, cy - half, cx + half, cy + half,
                        [&](std::uint32_t c, int px, int py) { return c != before.at(px, py); });
  };
  // Sparks live about two seconds; on a loaded machine a few slow grabs can fall before and
  // after the burst, so a burst not caught is fired again, up to three times.
  int sparks = 0;
  for (int attempt = 0; attempt < 3 && sparks <= 300; ++attempt) {
    ASSERT_TRUE(sent_ok(port, "fx", json{{"kind", "fireworks"}, {"x", w / 2}, {"y", h / 3}}));
    const Screen shot = grab_until(*session, 3s, [&](const Screen& s) {
      return changed_near(s, w / 2, h / 3, 200) > 300;
    });
    sparks = changed_near(shot, w / 2, h / 3, 200);
  }
  EXPECT_GT(sparks, 300) << "no fireworks";

  // A rain cloud high up and a fire on the floor, each drawn by the pencil first.
  const int cloud_x = w / 4, cloud_y = h / 5, fire_x = 3 * w / 4;
  ASSERT_TRUE(sent_ok(port, "draw", json{{"kind", "cloud"}, {"pts", json::array({json::array({cloud_x, cloud_y})})},
                                         {"ttl", 60}}));
  ASSERT_TRUE(sent_ok(port, "draw", json{{"kind", "fire"}, {"pts", json::array({json::array({fire_x, h - 2})})},
                                         {"ttl", 60}}));
  const auto cloud_fill = [&](const Screen& s) {
    return count_pixels(s, cloud_x - 40, cloud_y - 20, cloud_x + 40, cloud_y + 20,
                        [](std::uint32_t c, int, int) { return c == 0xEEF1F6; });
  };
  // Raindrops fall below the cloud; flames are orange to yellow near the fire's base.
  const auto rain = [&](const Screen& s) {
    return count_pixels(s, cloud_x - 80, cloud_y + 60, cloud_x + 80, cloud_y + 400,
                        [&](std::uint32_t c, int px, int py) { return c != before.at(px, py); });
  };
  const auto flames = [&](const Screen& s) {
    return count_pixels(s, fire_x - 60, h - 140, fire_x + 60, h, [](std::uint32_t c, int, int) {
      const unsigned r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
      return r > 0xE0 && g > 0x60 && b < 0x80;
    });
  };
  const Screen hazards = grab_until(*session, 30s, [&](const Screen& s) {
    return cloud_fill(s) > 1500 && rain(s) > 20 && flames(s) > 200;
  });
  EXPECT_GT(cloud_fill(hazards), 1500) << "no cloud";
  EXPECT_GT(rain(hazards), 20) << "no rain";
  EXPECT_GT(flames(hazards), 200) << "no fire";
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

// A desktop of its own, without a window manager, where the test starts and kills the
// compositor: the overlay is cut to the buddies' opaque pixels while none runs (no black sheet),
// and is the whole transparent window again while one does.
class OverlayWithoutCompositor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("(command -v Xvfb && command -v picom && command -v openbox) >/dev/null") != 0)
      GTEST_SKIP() << "Xvfb, openbox or picom is not installed";
    for (int n = 700 + ::getpid() % 200; n < 1000 && xvfb <= 0; ++n) {
      if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) continue;
      display = ":" + std::to_string(n);
      xvfb = spawn({"Xvfb", display, "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset"});
    }
    ASSERT_GT(xvfb, 0);
    for (int i = 0; i < 400 && !session; ++i) {
      std::this_thread::sleep_for(25ms);
      if (auto opened = X11Session::open(display.c_str()); opened.ok()) session = std::move(*opened);
    }
    ASSERT_TRUE(session) << "Xvfb did not start on " << display;
    dir = ::testing::TempDir() + "perchkin-no-compositor-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    // A window manager restacks and raises, which exposes the overlay again and again.
    window_manager = spawn_on_display({"openbox", "--sm-disable"});
    const Atom check = XInternAtom(session->display(), "_NET_SUPPORTING_WM_CHECK", False);
    for (int i = 0; i < 400 && !session->read_long(session->root(), check, XA_WINDOW); ++i)
      std::this_thread::sleep_for(25ms);
  }
  void TearDown() override {
    if (companion > 0) {
      (void)send_command(port, "quit", json::object());
      EXPECT_EQ(wait_exit(companion, 10s), 0);
    }
    stop_picom();
    if (window_manager > 0) {
      ::kill(window_manager, SIGTERM);
      wait_exit(window_manager, 10s);
    }
    session.reset();
    if (xvfb > 0) {
      ::kill(xvfb, SIGTERM);
      wait_exit(xvfb, 10s);
    }
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  // Children started from here use the private display.
  pid_t spawn_on_display(std::vector<std::string> args, const std::string& err = "/dev/null") {
    const std::string previous = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    setenv("DISPLAY", display.c_str(), 1);
    const pid_t pid = spawn(std::move(args), err);
    if (previous.empty()) unsetenv("DISPLAY");
    else setenv("DISPLAY", previous.c_str(), 1);
    return pid;
  }
  void start_picom() {
    picom = spawn_on_display({"picom", "--backend", "xrender", "--config", "/dev/null"});
    ASSERT_GT(picom, 0);
    for (int i = 0; i < 400 && !compositor_running(*session); ++i) std::this_thread::sleep_for(25ms);
    ASSERT_TRUE(compositor_running(*session));
  }
  void stop_picom() {
    if (picom <= 0) return;
    ::kill(picom, SIGTERM);
    wait_exit(picom, 10s);
    picom = -1;
  }
  Window overlay() const {
    Window root = None, parent = None, *children = nullptr;
    unsigned count = 0;
    Window found = None;
    if (!XQueryTree(session->display(), session->root(), &root, &parent, &children, &count)) return None;
    for (unsigned i = 0; i < count; ++i) {
      XClassHint hint{};
      if (XGetClassHint(session->display(), children[i], &hint) == 0) continue;
      if (hint.res_class != nullptr && std::string(hint.res_class) == "PerchkinOverlay")
        found = children[i];
      if (hint.res_name != nullptr) XFree(hint.res_name);
      if (hint.res_class != nullptr) XFree(hint.res_class);
    }
    if (children != nullptr) XFree(children);
    return found;
  }
  bool overlay_shaped() const {
    int bounding = 0, clip = 0, x = 0, y = 0, cx = 0, cy = 0;
    unsigned w = 0, h = 0, cw = 0, ch = 0;
    XShapeQueryExtents(session->display(), overlay(), &bounding, &x, &y, &w, &h, &clip, &cx, &cy,
                       &cw, &ch);
    return bounding != 0;
  }
  // The top two thirds of the screen, where nothing of the crew is, equal `desktop`.
  static int differing_above(const Screen& shot, const Screen& desktop) {
    int n = 0;
    for (int y = 0; y < shot.height * 2 / 3; y += 5)
      for (int x = 0; x < shot.width; x += 5) n += shot.at(x, y) != desktop.at(x, y);
    return n;
  }
  // Pixels of the buddy's body that differ from the desktop.
  int buddy_pixels(const Screen& shot, const Screen& desktop) {
    const json b = status_of(port).value_or(json::object()).value("buddies", json::array()).at(0);
    const int x = b.value("x", 0), y = b.value("y", 0);
    const int unit = std::max(1, static_cast<int>(std::lround(Settings{}.size * session->scale())));
    return count_pixels(shot, x - 4 * unit, y - 8 * unit, x + 4 * unit, y - unit,
                        [&](std::uint32_t c, int px, int py) { return c != desktop.at(px, py); });
  }

  void start_companion() {
    setenv("PERCHKIN_SETTINGS", (dir + "/settings.json").c_str(), 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    port = free_port();
    companion = spawn_on_display({PERCHKIN_EXE, "--port", std::to_string(port)}, dir + "/err.txt");
    ASSERT_GT(companion, 0);
    for (int i = 0; i < 400 && !status_of(port); ++i) std::this_thread::sleep_for(25ms);
    ASSERT_TRUE(status_of(port)) << "the companion does not answer";
  }

  std::string display, dir;
  pid_t xvfb = -1, picom = -1, companion = -1, window_manager = -1;
  std::unique_ptr<X11Session> session;
  std::uint16_t port = 0;
};

TEST_F(OverlayWithoutCompositor, TheDesktopStaysVisibleAndTheCompositorIsFollowed) {
  const Screen desktop = grab_screen(*session);
  start_companion();

  // Started without a compositor: cut to the crew, the desktop untouched around it.
  const auto shaped_and_clear = [&](const Screen& s) {
    return overlay_shaped() && differing_above(s, desktop) == 0 && buddy_pixels(s, desktop) > 20;
  };
  Screen shot = grab_until(*session, 5s, shaped_and_clear);
  EXPECT_TRUE(overlay_shaped());
  EXPECT_EQ(differing_above(shot, desktop), 0) << "the overlay covers the desktop";
  EXPECT_GT(buddy_pixels(shot, desktop), 20) << "the buddy is not visible";
  // A line drawn bit by bit over many frames shows in its colour, not in the black the server
  // paints where the shape grows.
  ASSERT_TRUE(sent_ok(port, "crew", json{{"add", 4}}));
  ASSERT_TRUE(sent_ok(port, "say", json{{"text", "no compositor here"}, {"id", "all"}, {"seconds", 1}}));
  ASSERT_TRUE(sent_ok(port, "draw", json{{"kind", "line"}, {"pts", {{40, 100}, {300, 200}, {600, 120}}},
                                          {"color", "red"}, {"width", 8}, {"ttl", 60}}));
  const auto red_line = [](const Screen& s) {
    int red = 0;
    for (int i = 0; i <= 100; ++i) {
      const double t = i / 100.0;
      red += s.at(static_cast<int>(40 + 260 * t), static_cast<int>(100 + 100 * t)) == 0xFF0000;
      red += s.at(static_cast<int>(300 + 300 * t), static_cast<int>(200 - 80 * t)) == 0xFF0000;
    }
    return red;
  };
  shot = grab_until(*session, 8s, [&](const Screen& s) { return red_line(s) > 180; });
  EXPECT_GT(red_line(shot), 180) << "the line's older parts lost their colour";
  ASSERT_TRUE(sent_ok(port, "draw", json{{"kind", "clear"}}));
  ASSERT_TRUE(sent_ok(port, "crew", json{{"remove", "all"}}));

  // A compositor starts: the whole transparent overlay again.
  // Picom itself may take seconds to start on a busy machine.
  start_picom();
  for (int i = 0; i < 400 && overlay_shaped(); ++i) std::this_thread::sleep_for(25ms);
  EXPECT_FALSE(overlay_shaped());

  // It goes away: the desktop shows again around the buddy at the next check, half a second
  // later (a loaded machine is given more).
  stop_picom();
  const auto started = std::chrono::steady_clock::now();
  shot = grab_until(*session, 5s, shaped_and_clear);
  EXPECT_LE(std::chrono::steady_clock::now() - started, 5500ms);
  EXPECT_EQ(differing_above(shot, desktop), 0) << "a black sheet over the desktop";
  EXPECT_GT(buddy_pixels(shot, desktop), 20);
  std::ifstream err(dir + "/err.txt");
  const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(said.find("no compositor is running"), std::string::npos) << said;
  EXPECT_NE(said.find("a compositor is running again"), std::string::npos) << said;
}

// The X server going away ends the companion with a line that names it, not Xlib's own.
TEST_F(OverlayWithoutCompositor, LosingTheDisplaySaysSoAndEndsWithOne) {
  start_companion();
  session.reset();
  ::kill(xvfb, SIGKILL);
  wait_exit(xvfb, 10s);
  xvfb = -1;
  EXPECT_EQ(wait_exit(companion, 10s), 1);
  companion = -1;
  std::ifstream err(dir + "/err.txt");
  const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(said.find("lost the X display " + display), std::string::npos) << said;
}

}  // namespace
}  // namespace perchkin
