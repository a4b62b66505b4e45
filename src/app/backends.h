// The one place that picks the desktop: the fake for --headless, else this build's platform.
#pragma once

#include "app/launch.h"
#include "base/status.h"
#include "gpu/renderer.h"
#include "studio/studio_window.h"
#include "voice/voice_backend.h"
#include "wear/wear_backend.h"
#include "win/desktop.h"
#include "win/shell.h"

#include <memory>
#include <string>

namespace perchkin {

struct Backends {
  std::unique_ptr<Desktop> desktop;
  std::unique_ptr<Shell> shell;
  std::unique_ptr<Renderer> renderer;
  std::unique_ptr<TextToSpeech> speech;
  std::unique_ptr<AudioOut> audio;
  std::unique_ptr<ImageDecoder> images;
  std::unique_ptr<FileChooser> chooser;
  std::unique_ptr<StudioWindow> studio;  // none without a window system
  bool graphics = false;  // false: the fake desktop, nothing is drawn
};

// Makes the real desktop's backends. Each platform's desktop target defines one
// (app/backends_x11.cpp, app/backends_win32.cpp); main() hands it to the companion, so the
// core and its tests never link a window system. The error is the graphics start-up message.
using DesktopFactory = Result<Backends> (*)(const LaunchOptions& options);
Result<Backends> make_platform_backends(const LaunchOptions& options);

// The fake desktop, shell and renderer of --headless, with silent sound and test decoders.
Backends make_fake_backends();

// Which Linux desktop to start on: PERCHKIN_DESKTOP ("wayland" or "x11") forces one; else
// Wayland is tried where WAYLAND_DISPLAY is set and X11 taken when it cannot start (a compositor
// without the layer shell, through XWayland). `why` is said on standard error.
struct DesktopChoice {
  bool try_wayland = false;
  bool x11_after = true;  // X11 when Wayland cannot start
  std::string why;
};
Result<DesktopChoice> choose_desktop(const char* forced, const char* wayland_display);

// --headless gets the fakes; anything else asks the platform.
Result<Backends> make_backends(const LaunchOptions& options, DesktopFactory platform);

}  // namespace perchkin
