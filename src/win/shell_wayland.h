// The program's windows and the desktop's sensing on a Wayland compositor with the layer shell
// (see win/shell.h and win/desktop.h): one overlay surface per output whose input region is
// where the pointer may act (the buddies, the menu, the selection), everything else passing
// through to the windows below.
#pragma once

#include "win/desktop.h"
#include "win/session_wayland.h"
#include "win/shell.h"

#include <memory>

namespace perchkin {

std::unique_ptr<Shell> make_wayland_shell(std::shared_ptr<WaylandSession> session);
// Other programs' windows, the pointer away from the overlay and the user's activity elsewhere
// are not told to clients: those read as none.
std::unique_ptr<Desktop> make_wayland_desktop(std::shared_ptr<WaylandSession> session);

}  // namespace perchkin
