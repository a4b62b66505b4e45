// The six global hotkeys on X11: XGrabKey on the root window for Ctrl+Alt+Shift with B, H, S,
// C, G and R, also with the NumLock and CapsLock variants. A combination another client holds
// is skipped.
#pragma once

#include "win/shell.h"
#include "win/session_x11.h"

#include <memory>

namespace perchkin {

struct HotkeysX11;
struct HotkeysX11Deleter {
  void operator()(HotkeysX11* hotkeys) const;
};
using HotkeysX11Ptr = std::unique_ptr<HotkeysX11, HotkeysX11Deleter>;

// Grabs the keys; resetting the pointer ungrabs them. May be null when none could be grabbed.
// `report_taken`: say on standard error which combinations another program holds (once, not
// again on every keyboard change).
HotkeysX11Ptr hotkeys_x11_register(X11Session& session, bool report_taken = true);

// True when `event` was one of the hotkeys; it becomes a kShellHotkey event with its HotkeyId.
// `hotkeys` may be null.
bool hotkeys_x11_handle_event(HotkeysX11* hotkeys, const XEvent& event, EventRecords& records);

}  // namespace perchkin
