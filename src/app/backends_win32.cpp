// The Windows desktop's backends: per-monitor DPI awareness first (every size read after it is
// in physical pixels), then the desktop, the four windows, the tray icon, the hotkeys and the
// graphics on the overlay.
#include "app/backends.h"

#include "win/desktop_win32.h"
#include "win/shell_win32.h"

#include <windows.h>

namespace perchkin {

Result<Backends> make_platform_backends(const LaunchOptions& options) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);  // may fail

  Backends b = make_fake_backends();
  auto desktop = std::make_unique<Win32Desktop>();
  auto shell = std::make_unique<Win32Shell>();
  const ScreenRect screen = desktop->screen();
  const double scale = desktop->display_scale();
  if (Status s = shell->create_windows(screen, scale); !s.ok())
    return Result<Backends>::fail(s.error);
  desktop->set_own_windows(shell->handles());
  shell->add_tray_icon();
  shell->register_hotkeys();

  // Until the Direct3D renderer and its software presenter are wired in, the overlay exists and
  // nothing is drawn on it; sensing, input, tray and hotkeys all work.
  auto renderer = std::make_unique<NullRenderer>();
  if (Status s = renderer->start(shell->native_window(ShellWindow::overlay), screen,
                                 options.software);
      !s.ok())
    return Result<Backends>::fail(s.error);

  b.desktop = std::move(desktop);
  b.shell = std::move(shell);
  b.renderer = std::move(renderer);
  b.graphics = true;
  return Result<Backends>::success(std::move(b));
}

}  // namespace perchkin
