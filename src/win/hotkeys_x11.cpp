// Placeholder until the key grabs exist: no hotkeys, no events.
#include "win/hotkeys_x11.h"

namespace perchkin {

struct HotkeysX11 {};

void HotkeysX11Deleter::operator()(HotkeysX11* hotkeys) const { delete hotkeys; }

HotkeysX11Ptr hotkeys_x11_register(X11Session&) { return nullptr; }

bool hotkeys_x11_handle_event(HotkeysX11*, const XEvent&, EventRecords&) { return false; }

}  // namespace perchkin
