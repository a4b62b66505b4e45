// This desktop's backends: one X connection shared by the shell's windows, the desktop sensing
// and the renderer.
#include "app/backends.h"

#include "gpu/renderer_x11.h"
#include "win/shell_x11.h"
#include "win/x11_session.h"

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace perchkin {

namespace {

// The desktop as far as the overlay needs it: the screen, the scale and the pointer. Windows,
// work areas less docks, idle time and the full-screen test come with the full X11 desktop.
class X11BasicDesktop final : public Desktop {
 public:
  explicit X11BasicDesktop(std::shared_ptr<X11Session> s) : session_(std::move(s)) {}
  ScreenRect screen() override { return session_->screen_rect(); }
  double display_scale() override { return session_->scale(); }
  std::vector<ScreenRect> work_areas() override { return session_->monitors(); }
  std::vector<DesktopWindow> windows() override { return {}; }
  PointOwner window_at(double, double) override { return {}; }
  CursorPos cursor() override {
    query();
    return pointer_;
  }
  PointerButtons buttons() override {
    query();
    return held_;
  }
  double idle_seconds() override { return 0.0; }
  bool key_pressed_since_last_probe() override { return false; }
  bool fullscreen_in_front() override { return false; }
  int local_hour() override { return current_local_hour(); }

 private:
  void query() {
    Window root = None, child = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    if (XQueryPointer(session_->display(), session_->root(), &root, &child, &rx, &ry, &wx, &wy,
                      &mask)) {
      pointer_ = {static_cast<double>(rx), static_cast<double>(ry)};
      held_ = {(mask & Button1Mask) != 0, (mask & Button3Mask) != 0};
    } else {
      pointer_ = {};
      held_ = {};
    }
  }
  std::shared_ptr<X11Session> session_;
  CursorPos pointer_;
  PointerButtons held_;
};

}  // namespace

Result<Backends> make_platform_backends(const LaunchOptions&) {
  const auto display = choose_display(std::getenv("DISPLAY"), access("/tmp/.X11-unix/X0", F_OK) == 0);
  if (!display.ok()) return display.status();
  auto opened = X11Session::open(display->c_str());
  if (!opened.ok()) return opened.status();
  std::shared_ptr<X11Session> session = std::move(*opened);

  Backends b = make_fake_backends();
  b.desktop = std::make_unique<X11BasicDesktop>(session);
  b.shell = make_x11_shell(session);
  b.renderer = make_x11_renderer(session);
  b.graphics = true;
  return Result<Backends>::success(std::move(b));
}

}  // namespace perchkin
