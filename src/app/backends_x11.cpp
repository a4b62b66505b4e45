// The X11 desktop's backends: one X connection shared by the shell's windows, the desktop
// sensing and the renderer.
#include "app/backends.h"

#include "gpu/renderer_x11.h"
#include "studio/studio_window_x11.h"
#include "voice/audio_alsa.h"
#include "voice/speech_espeak.h"
#include "win/desktop_x11.h"
#include "win/shell_x11.h"
#include "win/session_x11.h"

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace perchkin {

Result<Backends> make_x11_backends(const LaunchOptions&) {
  const auto display = choose_display(std::getenv("DISPLAY"), access("/tmp/.X11-unix/X0", F_OK) == 0);
  if (!display.ok()) return display.status();
  auto opened = X11Session::open(display->c_str());
  if (!opened.ok()) return opened.status();
  std::shared_ptr<X11Session> session = std::move(*opened);

  Backends b = make_fake_backends();
  b.shell = make_x11_shell(session);
  // The sensing keeps its own connection to the same display, so its events stay apart.
  auto desktop = make_x11_desktop(*display, *b.shell);
  if (!desktop.ok()) return desktop.status();
  b.desktop = std::move(*desktop);
  b.renderer = make_x11_renderer(session);
  b.speech = make_espeak_speech();
  b.audio = make_alsa_audio();
  // Its own connection, opened only while the window is open.
  b.studio = make_x11_studio_window(*display);
  b.graphics = true;
  return Result<Backends>::success(std::move(b));
}

}  // namespace perchkin
