// The Windows desktop's backends. Per-monitor DPI awareness comes first, so that every size read
// afterwards is in physical pixels; start-up then creates the windows, the tray icon and the
// hotkeys and starts the renderer on the overlay, in that order.
#include "app/backends.h"

#include "gpu/renderer_d3d11.h"
#include "studio/studio_window_win32.h"
#include "voice/voice_win32.h"
#include "win/desktop_win32.h"
#include "win/shell_win32.h"

#include <windows.h>

namespace perchkin {

Result<Backends> make_platform_backends(const LaunchOptions&) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);  // may fail

  Backends b = make_fake_backends();
  auto shell = std::make_unique<Win32Shell>();
  auto desktop = std::make_unique<Win32Desktop>();
  // The desktop leaves the shell's windows out of what it reports; both live as long as App.
  desktop->set_shell(shell.get());
  b.desktop = std::move(desktop);
  b.shell = std::move(shell);
  // Direct3D 11, or its software presenter where composition is missing; start-up starts it.
  b.renderer = make_d3d11_renderer();
  // SAPI and waveOut; the voice starts them on its own threads at the first line.
  b.speech = make_sapi_speech();
  b.audio = make_waveout_audio();
  // Made when first opened.
  b.studio = make_win32_studio_window();
  b.graphics = true;
  return Result<Backends>::success(std::move(b));
}

}  // namespace perchkin
