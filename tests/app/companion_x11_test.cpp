// The whole companion on a real X desktop (the test run's Xvfb with openbox), driven as a user
// would drive it: xterms to stand on, the pointer and keyboard through xdotool (XTEST), and the
// local port to watch where the buddies are. Every wait polls with a deadline, so a slow machine
// only makes the tests slower, never wrong.
#include <gtest/gtest.h>

#include "base/json.h"
#include "child_process.h"
#include "x11_desktop.h"
#include "gpu/png.h"
#include "ipc/port.h"
#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace perchkin {
namespace {

using namespace std::chrono_literals;
using test::free_port;
using test::spawn;
using test::wait_exit;
using Clock = std::chrono::steady_clock;

using test::poll;
using test::xdotool;

bool grounded(const json& b) {
  const std::string mode = b.value("mode", "");
  return b.value("on", "air") != "air" && mode != "fall" && mode != "held" && mode != "hop" &&
         mode != "slide";
}

class CompanionDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
    d = session->display();
    if (!session->read_long(session->root(), session->atoms().net_supporting_wm_check,
                            XA_WINDOW))
      GTEST_SKIP() << "no window manager on this display";
    ASSERT_EQ(std::system("command -v xdotool >/dev/null && command -v xterm >/dev/null"), 0)
        << "xdotool and xterm are needed";
    XWindowAttributes a{};
    XGetWindowAttributes(d, session->root(), &a);
    screen_w = a.width;
    screen_h = a.height;
  }

  void TearDown() override {
    if (pid > 0) {
      (void)send_command(port, "quit", json::object());
      EXPECT_EQ(wait_exit(pid, 10s), 0) << errors();
    }
    for (pid_t p : helpers) {
      ::kill(p, SIGTERM);
      (void)wait_exit(p, 5s);
    }
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }

  std::string errors() const {
    std::ifstream in(dir + "/err.txt");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // The folder beside the settings file, made afresh.
  void make_dir() {
    if (!dir.empty()) return;
    dir = ::testing::TempDir() + "perchkin-companion-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }

  // Starts the companion with these settings (the rest default) and waits for its answer.
  void start(const json& settings = json::object()) {
    make_dir();
    std::ofstream(dir + "/settings.json") << settings.dump();
    setenv("PERCHKIN_SETTINGS", (dir + "/settings.json").c_str(), 1);
    // The GL driver and Xlib keep memory until exit; the companion's leak report is not ours.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    port = free_port();
    pid = spawn({PERCHKIN_EXE, "--port", std::to_string(port)}, dir + "/err.txt");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(poll<json>(20s, [&] { return status(); })) << "no answer\n" << errors();
  }

  std::optional<json> status() {
    auto sent = send_command(port, "status", json::object());
    const auto* reply = std::get_if<CommandReply>(&sent);
    if (reply == nullptr || !reply->ok) return std::nullopt;
    return parse_json(reply->msg);
  }

  std::optional<json> buddy(std::size_t i = 0) {
    auto s = status();
    if (!s || !s->contains("buddies") || (*s)["buddies"].size() <= i) return std::nullopt;
    return (*s)["buddies"][i];
  }

  // Waits until the first buddy satisfies `test`; the last status seen goes into `last`.
  std::optional<json> wait_buddy(std::chrono::milliseconds limit,
                                 const std::function<bool(const json&)>& test) {
    return poll<json>(limit, [&]() -> std::optional<json> {
      auto b = buddy();
      if (b) last = *b;
      if (b && test(*b)) return b;
      return std::nullopt;
    });
  }

  bool command(const std::string& name, const json& args) {
    auto sent = send_command(port, name, args);
    const auto* reply = std::get_if<CommandReply>(&sent);
    return reply != nullptr && reply->ok;
  }

  // An xterm at (x, y) with a title of its own; returns its client window once it is mapped.
  Window xterm(const std::string& title, int x, int y, const std::string& size = "90x12",
               const std::string& background = "white") {
    const pid_t p = spawn({"xterm", "-fa", "Monospace", "-fs", "10", "-bg", background, "-T", title,
                           "-geometry", size + "+" + std::to_string(x) + "+" + std::to_string(y),
                           "-e", "sleep", "600"});
    EXPECT_GT(p, 0);
    helpers.push_back(p);
    const auto found = poll<Window>(15s, [&]() -> std::optional<Window> {
      const auto list = session->read_longs(session->root(),
                                            XInternAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW,
                                            1024);
      for (long v : list) {
        const auto w = static_cast<Window>(v);
        char* name = nullptr;
        bool match = false;
        if (XFetchName(d, w, &name) != 0 && name != nullptr) {
          match = title == name;
          XFree(name);
        }
        XWindowAttributes a{};
        if (match && XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable) return w;
      }
      return std::nullopt;
    });
    EXPECT_TRUE(found) << "xterm " << title << " did not show";
    return found.value_or(None);
  }

  // The top edge of a window's frame (title bar included), in root coordinates.
  int frame_top(Window w) {
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(d, w, session->root(), 0, 0, &x, &y, &child);
    const auto extents =
        session->read_longs(w, session->atoms().net_frame_extents, XA_CARDINAL, 4);
    return extents.size() == 4 ? y - static_cast<int>(extents[2]) : y;
  }
  ScreenRect client_rect(Window w) {
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(d, w, session->root(), 0, 0, &x, &y, &child);
    XWindowAttributes a{};
    XGetWindowAttributes(d, w, &a);
    return {static_cast<double>(x), static_cast<double>(y), static_cast<double>(x + a.width),
            static_cast<double>(y + a.height)};
  }

  // One of the companion's own windows by class ("PerchkinOverlay", "PerchkinGrab"), or None.
  Window own_window(const char* klass) {
    Window root_ret = None, parent = None, *children = nullptr;
    unsigned n = 0;
    Window found = None;
    if (XQueryTree(d, session->root(), &root_ret, &parent, &children, &n) == 0) return None;
    for (unsigned i = 0; i < n && found == None; ++i) {
      XClassHint hint{};
      if (XGetClassHint(d, children[i], &hint) == 0) continue;
      if (hint.res_class != nullptr && std::string(hint.res_class) == klass) found = children[i];
      if (hint.res_name != nullptr) XFree(hint.res_name);
      if (hint.res_class != nullptr) XFree(hint.res_class);
    }
    if (children != nullptr) XFree(children);
    return found;
  }
  bool viewable(Window w) {
    XWindowAttributes a{};
    return w != None && XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable;
  }
  bool overlay_shown() { return viewable(own_window("PerchkinOverlay")); }
  bool wait_overlay(bool shown, std::chrono::milliseconds limit) {
    return poll<bool>(limit, [&]() -> std::optional<bool> {
             if (overlay_shown() == shown) return true;
             return std::nullopt;
           })
        .has_value();
  }

  // How many pixels of the root window in the rectangle are within `tolerance` of `rgb` in
  // every channel.
  int count_colour(int left, int top, int width, int height, std::uint32_t rgb, int tolerance) {
    left = std::max(0, left);
    top = std::max(0, top);
    width = std::min(width, screen_w - left);
    height = std::min(height, screen_h - top);
    if (width <= 0 || height <= 0) return 0;
    XImage* img = XGetImage(d, session->root(), left, top, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (img == nullptr) return 0;
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const unsigned long p = XGetPixel(img, x, y);
        bool near = true;
        for (int shift : {16, 8, 0}) {
          const int a = static_cast<int>((p >> shift) & 0xFF);
          const int b = static_cast<int>((rgb >> shift) & 0xFF);
          near = near && std::abs(a - b) <= tolerance;
        }
        n += near;
      }
    XDestroyImage(img);
    return n;
  }

  void client_message(Window w, const char* type, long a0, long a1 = 0, long a2 = 0) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, type, False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = a0;
    e.xclient.data.l[1] = a1;
    e.xclient.data.l[2] = a2;
    XSendEvent(d, session->root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(d, False);
  }

  // Puts the first buddy on the window's top and waits until it stands there.
  std::optional<json> stand_on(Window w) {
    const ScreenRect r = client_rect(w);
    const double top = frame_top(w);
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (!command("leap", json{{"x", (r.left + r.right) / 2.0}, {"y", top}})) continue;
      auto on = wait_buddy(8s, [&](const json& b) {
        return grounded(b) && b.value("on", "") == "window" &&
               std::abs(b.value("y", 0.0) - top) <= 1.0;
      });
      if (on) return on;
    }
    return std::nullopt;
  }

  std::unique_ptr<X11Session> session;
  Display* d = nullptr;
  int screen_w = 0, screen_h = 0;
  std::string dir;
  std::uint16_t port = 0;
  pid_t pid = -1;
  std::vector<pid_t> helpers;
  json last;
};

TEST_F(CompanionDesktop, AnXtermsTopCarriesABuddyAndMinimisingItDropsIt) {
  const Window term = xterm("perchkin-ledge", 300, 420);
  ASSERT_NE(term, None);
  start();
  ASSERT_TRUE(stand_on(term)) << "the buddy never stood on the xterm: " << last.dump() << "\n"
                              << errors();
  // Asleep it stays where it is, so any move along the ledge is the window's.
  ASSERT_TRUE(command("act", json{{"action", "sleep"}}));
  const auto on = wait_buddy(3s, [](const json& b) { return b.value("mode", "") == "sleep"; });
  ASSERT_TRUE(on) << last.dump();

  // Moving the window carries the buddy: same place on the ledge, the ledge's new height.
  const double old_left = client_rect(term).left;
  const double offset = on->value("x", 0.0) - old_left;
  ASSERT_TRUE(xdotool({"windowmove", std::to_string(term), "500", "560"}));
  const auto moved = wait_buddy(6s, [&](const json& b) {
    return b.value("on", "") == "window" && std::abs(b.value("y", 0.0) - frame_top(term)) <= 1.0;
  });
  ASSERT_TRUE(moved) << "the buddy stayed behind: " << last.dump() << " ledge at "
                     << frame_top(term);
  EXPECT_GT(frame_top(term), on->value("y", 0.0) + 100.0);
  EXPECT_EQ(moved->value("mode", ""), "sleep");
  EXPECT_NEAR(moved->value("x", 0.0) - client_rect(term).left, offset, 1.0) << errors();

  // Minimised, the window is no ledge: the buddy falls to the floor below.
  ASSERT_TRUE(xdotool({"windowminimize", std::to_string(term)}));
  const auto dropped = wait_buddy(8s, [&](const json& b) {
    return grounded(b) && b.value("on", "") == "floor";
  });
  ASSERT_TRUE(dropped) << "the buddy did not fall: " << last.dump();
  EXPECT_GT(dropped->value("y", 0.0), moved->value("y", 0.0) + 100.0);
}

TEST_F(CompanionDesktop, AFullScreenWindowAndTheHideKeyQuietTheCrew) {
  const Window term = xterm("perchkin-fullscreen", 200, 300);
  ASSERT_NE(term, None);
  start();
  ASSERT_TRUE(overlay_shown()) << errors();

  // A full-screen window in front hides the overlay; leaving full screen brings it back.
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(term)}));
  const long fullscreen = static_cast<long>(XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False));
  client_message(term, "_NET_WM_STATE", 1, fullscreen);
  EXPECT_TRUE(wait_overlay(false, 5s)) << "the overlay stayed over a full-screen window";
  // Commands are still answered while quiet.
  EXPECT_TRUE(status());
  client_message(term, "_NET_WM_STATE", 0, fullscreen);
  EXPECT_TRUE(wait_overlay(true, 5s)) << "the overlay did not come back";

  // Ctrl+Alt+Shift+H hides the crew, and the same key shows it again.
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+h"}));
  EXPECT_TRUE(wait_overlay(false, 5s)) << "the H key did not hide the crew\n" << errors();
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+h"}));
  EXPECT_TRUE(wait_overlay(true, 5s)) << "the H key did not show the crew again";
}

TEST_F(CompanionDesktop, AScreenLockerOrTheScreenSaverHidesTheCrewUntilItEnds) {
  start();
  ASSERT_TRUE(overlay_shown()) << errors();
  const Window overlay = own_window("PerchkinOverlay");
  const auto overlay_above = [&](Window other) {
    Window r = None, parent = None, *children = nullptr;
    unsigned n = 0;
    int at_overlay = -1, at_other = -1;
    if (XQueryTree(d, session->root(), &r, &parent, &children, &n) == 0) return false;
    for (unsigned i = 0; i < n; ++i) {
      if (children[i] == overlay) at_overlay = static_cast<int>(i);
      if (children[i] == other) at_other = static_cast<int>(i);
    }
    if (children != nullptr) XFree(children);
    return at_overlay > at_other;
  };

  // A locker's stand-in: a full-screen override-redirect window mapped after the companion.
  XSetWindowAttributes attrs{};
  attrs.override_redirect = True;
  attrs.background_pixel = BlackPixel(d, DefaultScreen(d));
  const Window locker =
      XCreateWindow(d, session->root(), 0, 0, static_cast<unsigned>(screen_w),
                    static_cast<unsigned>(screen_h), 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
  XMapRaised(d, locker);
  XSync(d, False);
  // A say sent by a script meanwhile must not show over it either.
  EXPECT_TRUE(command("say", json{{"text", "secret"}}));
  const auto until = Clock::now() + 1500ms;
  while (Clock::now() < until) {
    ASSERT_FALSE(overlay_above(locker)) << "the overlay was raised over the locker";
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(wait_overlay(false, 5s)) << "the crew stayed out while the screen was locked";
  XUnmapWindow(d, locker);
  XSync(d, False);
  EXPECT_TRUE(wait_overlay(true, 5s)) << "the crew did not come back after the locker";
  XDestroyWindow(d, locker);
  XSync(d, False);

  // The server's own screen saver quiets the crew the same way.
  if (std::system("command -v xset >/dev/null") != 0) GTEST_SKIP() << "xset is needed";
  ASSERT_EQ(std::system("xset s activate"), 0);
  EXPECT_TRUE(wait_overlay(false, 5s)) << "the crew stayed out under the screen saver";
  ASSERT_EQ(std::system("xset s reset"), 0);
  EXPECT_TRUE(wait_overlay(true, 5s)) << "the crew did not come back after the screen saver";
}

TEST_F(CompanionDesktop, TheHideKeyStillWorksAfterTheKeyboardMappingMovesH) {
  start();
  ASSERT_TRUE(overlay_shown()) << errors();
  // Move H to a keycode that carries nothing, as xmodmap or a new keyboard layout would.
  const KeyCode old_code = XKeysymToKeycode(d, XK_h);
  ASSERT_NE(old_code, 0);
  int low = 0, high = 0, per = 0;
  XDisplayKeycodes(d, &low, &high);
  KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &per);
  ASSERT_NE(map, nullptr);
  int spare = 0;
  for (int code = high; code > low && spare == 0; --code) {
    bool blank = true;
    for (int k = 0; k < per; ++k) blank = blank && map[(code - low) * per + k] == NoSymbol;
    if (blank) spare = code;
  }
  XFree(map);
  ASSERT_NE(spare, 0) << "no free keycode";
  const auto put = [&](int code, KeySym lower, KeySym upper) {
    KeySym syms[2] = {lower, upper};
    XChangeKeyboardMapping(d, code, 2, syms, 1);
    XSync(d, False);
  };
  put(spare, XK_h, XK_H);
  put(old_code, NoSymbol, NoSymbol);
  struct Restore {
    std::function<void()> undo;
    ~Restore() { undo(); }
  } restore{[&] {
    put(old_code, XK_h, XK_H);
    put(spare, NoSymbol, NoSymbol);
  }};
  ASSERT_EQ(XKeysymToKeycode(d, XK_h), spare);
  std::this_thread::sleep_for(1s);  // the companion hears of the change on its next frame

  ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+h"}));
  EXPECT_TRUE(wait_overlay(false, 5s)) << "the H key on its new keycode did not hide the crew";
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+h"}));
  EXPECT_TRUE(wait_overlay(true, 5s)) << "the H key on its new keycode did not show the crew";
}

TEST_F(CompanionDesktop, DraggingABuddyWithTheMouseThrowsIt) {
  start();
  ASSERT_TRUE(wait_buddy(10s, grounded)) << "the buddy never landed: " << last.dump();
  // Press on its body: the grab window must be under the pointer first.
  std::optional<json> held;
  for (int attempt = 0; attempt < 5 && !held; ++attempt) {
    const auto b = buddy();
    ASSERT_TRUE(b);
    const int x = b->value("x", 0), y = b->value("y", 0) - 40;
    ASSERT_TRUE(xdotool({"mousemove", std::to_string(x), std::to_string(y)}));
    const bool under = poll<bool>(3s, [&]() -> std::optional<bool> {
                         if (viewable(own_window("PerchkinGrab"))) return true;
                         return std::nullopt;
                       }).has_value();
    if (!under) continue;
    ASSERT_TRUE(xdotool({"mousedown", "1", "sleep", "0.15", "mousemove_relative", "--", "0", "-12"}));
    held = wait_buddy(3s, [](const json& h) { return h.value("mode", "") == "held"; });
    if (!held) {
      ASSERT_TRUE(xdotool({"mouseup", "1"}));
    }
  }
  ASSERT_TRUE(held) << "pressing and moving never picked the buddy up: " << last.dump() << "\n"
                    << errors();

  // A quick flick up and towards the wider side of the screen, released on the way.
  const int toward = held->value("x", 0) < screen_w / 2 ? 1 : -1;
  std::vector<std::string> flick;
  for (int i = 0; i < 12; ++i) {
    for (const std::string& a : {std::string("mousemove_relative"), std::string("--"),
                                 std::to_string(24 * toward), std::string("-14"), std::string("sleep"),
                                 std::string("0.01")})
      flick.push_back(a);
  }
  flick.push_back("mouseup");
  flick.push_back("1");
  ASSERT_TRUE(xdotool(flick));
  Window root_ret = None, child = None;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(d, session->root(), &root_ret, &child, &rx, &ry, &wx, &wy, &mask);

  // Thrown, it flies on past the point where it was let go before it lands.
  double furthest = -1e9;
  const auto landed = wait_buddy(10s, [&](const json& b) {
    furthest = std::max(furthest, toward * b.value("x", 0.0));
    return b.value("mode", "") != "held" && grounded(b);
  });
  ASSERT_TRUE(landed) << "the buddy never landed: " << last.dump();
  EXPECT_GT(furthest, toward * rx + 60.0) << "let go at x=" << rx << ", landed " << landed->dump();
}

TEST_F(CompanionDesktop, AHatInTheHatsFolderSelectedInTheSettingsShowsOnTheBuddy) {
  // A plain 40 x 30 hat of a colour nothing else on this desktop has.
  constexpr std::uint32_t kHat = 0x2040C0;
  RgbaImage hat = make_image(40, 30);
  for (std::size_t i = 0; i < hat.pixels.size(); i += 4) {
    hat.pixels[i] = (kHat >> 16) & 0xFF;
    hat.pixels[i + 1] = (kHat >> 8) & 0xFF;
    hat.pixels[i + 2] = kHat & 0xFF;
    hat.pixels[i + 3] = 255;
  }
  make_dir();
  std::filesystem::create_directories(dir + "/wear/hats");
  ASSERT_TRUE(write_png(dir + "/wear/hats/blue hat.png", hat).ok());
  start(json{{"custom_hat", "blue hat.png"}, {"look", {{"hat", 0}}}});
  ASSERT_TRUE(wait_buddy(10s, grounded)) << last.dump();

  // Above the body, 13 cells wide and as tall as the image's shape.
  const auto seen = poll<int>(5s, [&]() -> std::optional<int> {
    const auto b = buddy();
    if (!b) return std::nullopt;
    const int x = b->value("x", 0), y = b->value("y", 0), unit = 9;
    const int n = count_colour(x - 12 * unit, y - 24 * unit, 24 * unit, 22 * unit, kHat, 6);
    if (n > 13 * unit * 5 * unit) return n;
    return std::nullopt;
  });
  EXPECT_TRUE(seen) << "no hat on the buddy at " << last.dump() << "\n" << errors();
}

TEST_F(CompanionDesktop, TypingIntoAWindowMakesABuddyTypeAlong) {
  const Window term = xterm("perchkin-typing", 300, 300);
  ASSERT_NE(term, None);
  start(json{{"type_along", true}});
  ASSERT_TRUE(wait_buddy(10s, grounded)) << last.dump();

  // The mouse alone is no typing.
  ASSERT_TRUE(xdotool({"mousemove", "700", "200", "mousemove", "900", "260", "click", "1"}));
  std::this_thread::sleep_for(400ms);
  auto s = status();
  ASSERT_TRUE(s);
  EXPECT_FALSE(s->value("typing", true));

  ASSERT_TRUE(xdotool({"windowactivate", "--sync", std::to_string(term)}));
  bool typing = false;
  for (int round = 0; round < 10 && !typing; ++round) {
    ASSERT_TRUE(xdotool({"type", "--delay", "40", "echo hello"}));
    s = status();
    typing = s && s->value("typing", false);
  }
  EXPECT_TRUE(typing) << "no buddy typed along: " << (s ? s->dump() : "no status");
}

// The selection key, then a drag around the buddy: while the button is held the rectangle and
// the ring under the buddy show; letting go opens the menu for it.
TEST_F(CompanionDesktop, DraggingASelectionShowsTheBoxAndRingsTheBuddiesItMeets) {
  start();
  const auto b = wait_buddy(10s, grounded);
  ASSERT_TRUE(b) << last.dump();
  ASSERT_TRUE(command("act", json{{"action", "sleep"}}));
  ASSERT_TRUE(wait_buddy(3s, [](const json& j) { return j.value("mode", "") == "sleep"; }));
  const int x = b->value("x", 0), y = b->value("y", 0), unit = 9;
  const int left = std::max(10, x - 150), top = y - 200, right = std::min(screen_w - 10, x + 150);
  ASSERT_TRUE(xdotool({"mousemove", std::to_string(left), std::to_string(top)}));
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+g"}));
  ASSERT_TRUE(poll<bool>(5s, [&]() -> std::optional<bool> {
    if (viewable(own_window("PerchkinSelect"))) return true;
    return std::nullopt;
  })) << errors();
  ASSERT_TRUE(xdotool({"mousedown", "1", "sleep", "0.2", "mousemove", std::to_string(right),
                       std::to_string(y - 2), "sleep", "0.2", "mousemove", std::to_string(right - 1),
                       std::to_string(y - 3)}));
  // The rectangle's yellow top edge, and the ring around the feet (8 x 2.2 cells).
  const auto edge = poll<int>(5s, [&]() -> std::optional<int> {
    const int n = count_colour(left, top - 3, right - left, 7, 0xFFD23F, 12);
    if (n > (right - left)) return n;
    return std::nullopt;
  });
  const int ring = count_colour(x - 9 * unit, y - 3 * unit, 18 * unit, 3 * unit, 0xFFD23F, 12);
  ASSERT_TRUE(xdotool({"mouseup", "1"}));
  EXPECT_TRUE(edge) << "no selection rectangle\n" << errors();
  EXPECT_GT(ring, 8 * unit) << "no ring under the buddy";
  EXPECT_TRUE(poll<bool>(5s, [&]() -> std::optional<bool> {
    if (viewable(own_window("PerchkinMenu"))) return true;
    return std::nullopt;
  })) << "letting go did not open the menu";
  ASSERT_TRUE(xdotool({"key", "Escape"}));
}

// A buddy on a window whose top is 130 px below the screen's says two lines: the bubble hangs
// below it, wholly on the screen, instead of being cut off at the top.
TEST_F(CompanionDesktop, ABubbleNearTheTopOfTheScreenStaysWhole) {
  const Window term = xterm("perchkin-high", 300, 130, "90x20", "black");
  ASSERT_NE(term, None);
  start();
  const auto on = stand_on(term);
  ASSERT_TRUE(on) << last.dump() << "\n" << errors();
  ASSERT_TRUE(command("act", json{{"action", "sleep"}}));
  const auto asleep = wait_buddy(3s, [](const json& j) { return j.value("mode", "") == "sleep"; });
  ASSERT_TRUE(asleep);
  const int x = asleep->value("x", 0), y = asleep->value("y", 0);
  ASSERT_LT(y, 200) << "the window's top is not near the screen's top";
  const int white_before_above = count_colour(x - 200, 0, 400, y - 2, 0xFFFFFF, 0);
  ASSERT_TRUE(command("say", json{{"text", "Hello from up here on this tall window, look at me!"}}));
  const auto below = poll<int>(5s, [&]() -> std::optional<int> {
    const int n = count_colour(x - 200, y, 400, 200, 0xFFFFFF, 0);
    if (n > 4000) return n;
    return std::nullopt;
  });
  EXPECT_TRUE(below) << "no two-line bubble below the buddy at " << x << ", " << y << "\n" << errors();
  EXPECT_EQ(count_colour(x - 200, 0, 400, y - 2, 0xFFFFFF, 0), white_before_above)
      << "part of the bubble is above the buddy, where it would be cut off";
}

}  // namespace
}  // namespace perchkin
