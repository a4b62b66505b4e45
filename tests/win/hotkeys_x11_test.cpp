// The global hotkeys on the Xvfb desktop, pressed with xdotool.
// gtest first: Xlib's None and Bool macros would rename its declarations.
#include <gtest/gtest.h>

#include "win/hotkeys_x11.h"
#include "win/tray_x11.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace perchkin {
namespace {

using namespace std::chrono_literals;

class HotkeysX11Live : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    auto opened = X11Session::open(nullptr);
    ASSERT_TRUE(opened.ok()) << opened.error;
    session = std::move(*opened);
  }
  // Hands every queued event to the hotkeys, as the shell's pump does.
  EventRecords pump(HotkeysX11* hotkeys) {
    EventRecords records;
    for (int i = 0; i < 50; ++i) {
      XSync(session->display(), False);
      while (XPending(session->display()) > 0) {
        XEvent e;
        XNextEvent(session->display(), &e);
        hotkeys_x11_handle_event(hotkeys, e, records);
      }
      if (!records.shell_events.empty()) break;
      std::this_thread::sleep_for(10ms);
    }
    return records;
  }
  std::unique_ptr<X11Session> session;
};

TEST_F(HotkeysX11Live, TheCombinationBecomesAShellEventAlsoWithCapsLock) {
  HotkeysX11Ptr hotkeys = hotkeys_x11_register(*session);
  ASSERT_NE(hotkeys, nullptr);
  ASSERT_EQ(std::system("xdotool key ctrl+alt+shift+h"), 0);
  EventRecords r = pump(hotkeys.get());
  ASSERT_EQ(r.shell_events.size(), 1u);
  EXPECT_EQ(r.shell_events[0].kind, kShellHotkey);
  EXPECT_EQ(r.shell_events[0].code, static_cast<std::uint32_t>(kHotkeyHide));

  ASSERT_EQ(std::system("xdotool key Caps_Lock key ctrl+alt+shift+g key Caps_Lock"), 0);
  r = pump(hotkeys.get());
  ASSERT_EQ(r.shell_events.size(), 1u);
  EXPECT_EQ(r.shell_events[0].code, static_cast<std::uint32_t>(kHotkeySelect));

  // Without all three modifiers it is an ordinary key.
  ASSERT_EQ(std::system("xdotool key ctrl+alt+h"), 0);
  EXPECT_TRUE(pump(hotkeys.get()).shell_events.empty());
}

TEST_F(HotkeysX11Live, KeysAnotherClientHoldsAreSkippedNotFatal) {
  HotkeysX11Ptr first = hotkeys_x11_register(*session);
  ASSERT_NE(first, nullptr);
  auto other = X11Session::open(nullptr);
  ASSERT_TRUE(other.ok());
  // Every combination is taken: nothing to hold, and the program carries on.
  EXPECT_EQ(hotkeys_x11_register(**other.value), nullptr);
  first.reset();
  EXPECT_NE(hotkeys_x11_register(**other.value), nullptr);
}

TEST_F(HotkeysX11Live, WithoutATrayThereIsQuietlyNoIcon) {
  TrayX11Ptr tray = tray_x11_add(*session, 1.0);
  EventRecords records;
  XEvent e{};
  e.type = ButtonRelease;
  e.xbutton.window = session->root();
  e.xbutton.button = Button1;
  EXPECT_FALSE(tray_x11_handle_event(tray.get(), e, records));
  EXPECT_TRUE(records.shell_events.empty());
}

// A system tray on a connection of its own, as a tray program would be: it owns the selection,
// announces itself and embeds whatever asks to dock, keeping it in its save set or not.
struct FakeTray {
  Display* d = XOpenDisplay(nullptr);
  Window window = None;
  Window embedded = None;

  explicit FakeTray(X11Session& ours) {
    const Window root = DefaultRootWindow(d);
    window = XCreateSimpleWindow(d, root, 0, 0, 120, 30, 0, 0, 0);
    const Atom selection = XInternAtom(d, "_NET_SYSTEM_TRAY_S0", False);
    XSetSelectionOwner(d, selection, window, CurrentTime);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = root;
    e.xclient.message_type = ours.atoms().manager;
    e.xclient.format = 32;
    e.xclient.data.l[0] = CurrentTime;
    e.xclient.data.l[1] = static_cast<long>(selection);
    e.xclient.data.l[2] = static_cast<long>(window);
    XSendEvent(d, root, False, StructureNotifyMask, &e);
    XSync(d, False);
  }
  ~FakeTray() { die(); }
  void die() {
    if (d != nullptr) XCloseDisplay(d);
    d = nullptr;
  }
  // Takes in the next window that asks to dock; `pump` runs the icon's side meanwhile.
  Window embed(bool save_set, const std::function<void()>& pump) {
    const Atom opcode = XInternAtom(d, "_NET_SYSTEM_TRAY_OPCODE", False);
    for (int i = 0; i < 200 && embedded == None; ++i) {
      pump();
      while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == ClientMessage && e.xclient.message_type == opcode && e.xclient.data.l[1] == 0)
          embedded = static_cast<Window>(e.xclient.data.l[2]);
      }
      if (embedded == None) std::this_thread::sleep_for(10ms);
    }
    if (embedded == None) return None;
    XReparentWindow(d, embedded, window, 0, 0);
    if (save_set) XAddToSaveSet(d, embedded);
    XMapWindow(d, embedded);
    XSync(d, False);
    return embedded;
  }
};

TEST_F(HotkeysX11Live, ATrayThatDiesLeavesNoStrayIconAndTheNextTrayGetsItBack) {
  if (XGetSelectionOwner(session->display(),
                         XInternAtom(session->display(), "_NET_SYSTEM_TRAY_S0", False)) != None)
    GTEST_SKIP() << "a tray already runs on this display";
  Display* d = session->display();
  EventRecords records;
  TrayX11Ptr tray;
  const auto pump = [&] {
    XSync(d, False);
    while (XPending(d) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      tray_x11_handle_event(tray.get(), e, records);
    }
  };
  const auto viewable = [&](Window w) {
    XWindowAttributes a{};
    return session->without_errors([&] { XGetWindowAttributes(d, w, &a); }) &&
           a.map_state == IsViewable;
  };

  // A tray that keeps the icon in its save set hands it back to the root window when it dies.
  auto first = std::make_unique<FakeTray>(*session);
  tray = tray_x11_add(*session, 1.0);
  ASSERT_NE(tray, nullptr);
  const Window icon = first->embed(true, pump);
  ASSERT_NE(icon, None);
  first->die();
  for (int i = 0; i < 100; ++i) {  // the window manager's turn, then ours
    pump();
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_FALSE(viewable(icon)) << "the icon was left on the desktop when the tray died";

  // The next tray gets the icon, and again after a tray that took it down with itself.
  for (bool save_set : {false, true}) {
    FakeTray next(*session);
    const Window docked = next.embed(save_set, pump);
    ASSERT_NE(docked, None) << "the icon did not dock in a new tray";
    EXPECT_TRUE(session->without_errors([&] { XClearWindow(d, docked); }))
        << "the tray was handed a window that no longer exists";
    next.die();
    for (int i = 0; i < 50; ++i) {
      pump();
      std::this_thread::sleep_for(10ms);
    }
  }
}

}  // namespace
}  // namespace perchkin
