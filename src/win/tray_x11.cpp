// Placeholder until the XEmbed tray icon exists: no icon, no events.
#include "win/tray_x11.h"

namespace perchkin {

struct TrayX11 {};

void TrayX11Deleter::operator()(TrayX11* tray) const { delete tray; }

TrayX11Ptr tray_x11_add(X11Session&, double) { return nullptr; }

bool tray_x11_handle_event(TrayX11*, const XEvent&, EventRecords&) { return false; }

}  // namespace perchkin
