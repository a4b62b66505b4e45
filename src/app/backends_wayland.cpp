// The Linux desktop: Wayland with the layer shell where the session offers it, else X11.
#include "app/backends.h"

#include "gpu/renderer_wayland.h"
#include "studio/studio_window_x11.h"
#include "voice/audio_alsa.h"
#include "voice/speech_espeak.h"
#include "win/shell_wayland.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace perchkin {

Result<Backends> make_x11_backends(const LaunchOptions& options);

namespace {

Result<Backends> make_wayland_backends(const char* name) {
  auto opened = WaylandSession::open(name);
  if (!opened.ok()) return opened.status();
  std::shared_ptr<WaylandSession> session = std::move(*opened);
  Backends b = make_fake_backends();
  b.shell = make_wayland_shell(session);
  b.desktop = make_wayland_desktop(session);
  b.renderer = make_wayland_renderer(session);
  b.speech = make_espeak_speech();
  b.audio = make_alsa_audio();
  // The Studio is an X11 window: through XWayland where it runs.
  if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0')
    b.studio = make_x11_studio_window(display);
  else
    b.studio = nullptr;
  b.graphics = true;
  return Result<Backends>::success(std::move(b));
}

}  // namespace

Result<Backends> make_platform_backends(const LaunchOptions& options) {
  const char* wayland_display = std::getenv("WAYLAND_DISPLAY");
  const auto choice = choose_desktop(std::getenv("PERCHKIN_DESKTOP"), wayland_display);
  if (!choice.ok()) return choice.status();
  // Which desktop runs is said once it runs: a failure's message stays the first line.
  std::string why = choice->why;
  if (choice->try_wayland) {
    auto made = make_wayland_backends(wayland_display);
    if (made.ok()) {
      std::fprintf(stderr, "perchkin: desktop: Wayland (%s)\n", why.c_str());
      return made;
    }
    if (!choice->x11_after) return made;
    why = made.error + "; through XWayland";
  }
  auto made = make_x11_backends(options);
  if (made.ok()) std::fprintf(stderr, "perchkin: desktop: X11 (%s)\n", why.c_str());
  return made;
}

}  // namespace perchkin
