// Starting with the desktop session: an autostart entry (Linux) or a Run value (Windows) that
// launches this executable with --background, kept in step with the `autostart` setting.
#pragma once

#include "base/status.h"

#include <string>
#include <string_view>

namespace perchkin {

// The freedesktop autostart entry for the executable at `exe`.
std::string autostart_desktop_entry(std::string_view exe);

// Creates or removes the entry; does nothing when it is already as asked.
Status set_autostart(bool on);
bool autostart_enabled();

}  // namespace perchkin
