#include "win/desktop.h"

namespace perchkin {

std::vector<ScreenRect> FakeDesktop::work_areas() {
  return monitors.empty() ? std::vector<ScreenRect>{rect} : monitors;
}

bool FakeDesktop::key_pressed_since_last_probe() {
  if (key_presses <= 0) return false;
  --key_presses;
  return true;
}

}  // namespace perchkin
