#include "app/autostart.h"

namespace perchkin {

std::string autostart_desktop_entry(std::string_view exe) {
  // Exec quoting: the path in double quotes, with \ " ` $ escaped.
  std::string quoted = "\"";
  for (char c : exe) {
    if (c == '\\' || c == '"' || c == '`' || c == '$') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return "[Desktop Entry]\nType=Application\nName=Perchkin\nComment=Crab buddies on your desktop\n"
         "Exec=" + quoted + " --background\nIcon=perchkin\nTerminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace perchkin
