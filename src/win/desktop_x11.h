// The Desktop on X11.
#pragma once

#include "base/status.h"
#include "win/desktop.h"
#include "win/shell.h"

#include <memory>
#include <string>

namespace perchkin {

// Senses the display `display_name` names (the shell's: DisplayString of its connection). It
// keeps a connection of its own, so its event selections and its queue never mix with the
// shell's; `shell` names the program's own windows, which are never ledges.
Result<std::unique_ptr<Desktop>> make_x11_desktop(const std::string& display_name, Shell& shell);

}  // namespace perchkin
