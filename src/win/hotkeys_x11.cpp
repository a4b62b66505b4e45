// Ctrl+Alt+Shift hotkeys grabbed on the root window. The lock keys (CapsLock, NumLock) are
// modifiers on X11, so every key is grabbed once per lock combination; a combination another
// client already holds fails with BadAccess, which the session's trap catches.
#include "win/hotkeys_x11.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <array>
#include <cstdio>
#include <vector>

namespace perchkin {

namespace {

constexpr unsigned kModifiers = ControlMask | Mod1Mask | ShiftMask;

struct HotkeyKey {
  HotkeyId id;
  KeySym sym;
  char letter;
};

// Registration order.
constexpr std::array<HotkeyKey, 6> kKeys = {{{kHotkeyRemoveAll, XK_r, 'R'},
                                             {kHotkeyMenu, XK_b, 'B'},
                                             {kHotkeyHide, XK_h, 'H'},
                                             {kHotkeySummon, XK_s, 'S'},
                                             {kHotkeyClear, XK_c, 'C'},
                                             {kHotkeySelect, XK_g, 'G'}}};

// The modifier bit NumLock is mapped to (0 when it is not).
unsigned num_lock_mask(Display* display) {
  const KeyCode num_lock = XKeysymToKeycode(display, XK_Num_Lock);
  if (num_lock == 0) return 0;
  XModifierKeymap* map = XGetModifierMapping(display);
  if (map == nullptr) return 0;
  unsigned mask = 0;
  for (int mod = 0; mod < 8 && mask == 0; ++mod)
    for (int k = 0; k < map->max_keypermod; ++k)
      if (map->modifiermap[mod * map->max_keypermod + k] == num_lock) {
        mask = 1u << mod;
        break;
      }
  XFreeModifiermap(map);
  return mask;
}

}  // namespace

struct HotkeysX11 {
  struct Grab {
    KeyCode code = 0;
    HotkeyId id = kHotkeyMenu;
    bool down = false;  // held: autorepeat presses are not new hotkeys
  };
  X11Session* session = nullptr;
  unsigned num_lock = 0;
  std::vector<Grab> grabs;

  std::vector<unsigned> variants() const {
    std::vector<unsigned> v = {0u, static_cast<unsigned>(LockMask)};
    if (num_lock != 0) {
      v.push_back(num_lock);
      v.push_back(num_lock | LockMask);
    }
    return v;
  }
};

void HotkeysX11Deleter::operator()(HotkeysX11* hotkeys) const {
  if (hotkeys == nullptr) return;
  X11Session& s = *hotkeys->session;
  s.without_errors([&] {
    for (const HotkeysX11::Grab& g : hotkeys->grabs)
      for (unsigned v : hotkeys->variants())
        XUngrabKey(s.display(), g.code, kModifiers | v, s.root());
  });
  delete hotkeys;
}

HotkeysX11Ptr hotkeys_x11_register(X11Session& session, bool report_taken) {
  Display* display = session.display();
  HotkeysX11Ptr hotkeys(new HotkeysX11);
  hotkeys->session = &session;
  hotkeys->num_lock = num_lock_mask(display);
  // Held keys then repeat as presses alone, which the grab's down flag filters out.
  XkbSetDetectableAutoRepeat(display, True, nullptr);
  const std::vector<unsigned> variants = hotkeys->variants();
  for (const HotkeyKey& key : kKeys) {
    const KeyCode code = XKeysymToKeycode(display, key.sym);
    if (code == 0) continue;
    const bool grabbed = session.without_errors([&] {
      for (unsigned v : variants)
        XGrabKey(display, code, kModifiers | v, session.root(), False, GrabModeAsync,
                 GrabModeAsync);
    });
    if (grabbed) {
      hotkeys->grabs.push_back({code, key.id, false});
      continue;
    }
    // Another program holds it: give back whatever variants were taken and carry on.
    session.without_errors([&] {
      for (unsigned v : variants) XUngrabKey(display, code, kModifiers | v, session.root());
    });
    if (report_taken)
      std::fprintf(stderr, "hotkey Ctrl+Alt+Shift+%c is taken by another program\n", key.letter);
  }
  if (hotkeys->grabs.empty()) return nullptr;
  return hotkeys;
}

bool hotkeys_x11_handle_event(HotkeysX11* hotkeys, const XEvent& event, EventRecords& records) {
  if (hotkeys == nullptr) return false;
  if (event.type != KeyPress && event.type != KeyRelease) return false;
  const XKeyEvent& key = event.xkey;
  for (HotkeysX11::Grab& g : hotkeys->grabs) {
    if (key.keycode != g.code) continue;
    if (event.type == KeyRelease) {
      const bool was_down = g.down;
      g.down = false;
      return was_down;
    }
    const unsigned locks = LockMask | hotkeys->num_lock;
    if ((key.state & ~locks & 0xFFu) != kModifiers) return false;
    if (!g.down) records.shell_events.push_back({kShellHotkey, static_cast<std::uint32_t>(g.id)});
    g.down = true;
    return true;
  }
  return false;
}

}  // namespace perchkin
