#include "win/desktop.h"

#include <ctime>

namespace perchkin {

std::vector<Support> FakeDesktop::scan_surfaces(const ScreenRect& screen, double) {
  std::vector<Support> out;
  out.push_back(Support{0, screen.left, screen.right, screen.bottom, SurfaceKind::floor, {}});
  out.insert(out.end(), windows.begin(), windows.end());
  return out;
}

int FakeDesktop::local_hour() { return hour ? *hour : current_local_hour(); }

int current_local_hour() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return 12;
#else
  if (localtime_r(&now, &local) == nullptr) return 12;
#endif
  return local.tm_hour;
}

}  // namespace perchkin
