// The tray icon on X11: an XEmbed icon in the system tray (_NET_SYSTEM_TRAY_S0) when one runs,
// quietly none otherwise. The shell owns it and offers it every event first.
#pragma once

#include "win/shell.h"
#include "win/session_x11.h"

#include <memory>

namespace perchkin {

struct TrayX11;
struct TrayX11Deleter {
  void operator()(TrayX11* tray) const;
};
using TrayX11Ptr = std::unique_ptr<TrayX11, TrayX11Deleter>;

// Adds the icon; null when there is no tray (nothing to remove then). Resetting the pointer
// removes the icon.
TrayX11Ptr tray_x11_add(X11Session& session, double scale);

// True when `event` was the tray's; clicks become kShellTrayLeft / kShellTrayRight events.
// `tray` may be null.
bool tray_x11_handle_event(TrayX11* tray, const XEvent& event, EventRecords& records);

}  // namespace perchkin
