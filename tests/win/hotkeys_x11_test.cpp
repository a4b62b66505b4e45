// The global hotkeys on the Xvfb desktop, pressed with xdotool.
// gtest first: Xlib's None and Bool macros would rename its declarations.
#include <gtest/gtest.h>

#include "win/hotkeys_x11.h"
#include "win/tray_x11.h"

#include <chrono>
#include <cstdlib>
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

}  // namespace
}  // namespace perchkin
