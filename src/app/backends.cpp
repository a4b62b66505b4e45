#include "app/backends.h"

namespace perchkin {

Backends make_fake_backends() {
  Backends b;
  b.desktop = std::make_unique<FakeDesktop>();
  b.shell = std::make_unique<FakeShell>();
  b.renderer = std::make_unique<NullRenderer>();
  b.speech = std::make_unique<ToneSpeech>();
  auto silent = std::make_unique<RecordingAudioOut>();
  silent->fail_open = true;  // headless runs make no sound
  b.audio = std::move(silent);
  b.images = std::make_unique<FakeImageDecoder>();
  b.chooser = std::make_unique<FakeFileChooser>();
  b.graphics = false;
  return b;
}

Result<DesktopChoice> choose_desktop(const char* forced, const char* wayland_display) {
  const std::string force = forced != nullptr ? forced : "";
  if (force == "x11") return Result<DesktopChoice>::success({false, true, "PERCHKIN_DESKTOP=x11"});
  if (force == "wayland")
    return Result<DesktopChoice>::success({true, false, "PERCHKIN_DESKTOP=wayland"});
  if (!force.empty())
    return Result<DesktopChoice>::fail("PERCHKIN_DESKTOP must be \"wayland\" or \"x11\", not \"" +
                                       force.substr(0, 40) + "\"");
  if (wayland_display == nullptr || *wayland_display == '\0')
    return Result<DesktopChoice>::success({false, true, "WAYLAND_DISPLAY is not set"});
  return Result<DesktopChoice>::success(
      {true, true, "WAYLAND_DISPLAY is set and the compositor offers the layer shell"});
}

Result<Backends> make_backends(const LaunchOptions& options, DesktopFactory platform) {
  if (options.headless) return Result<Backends>::success(make_fake_backends());
  if (platform == nullptr) return Result<Backends>::fail("no desktop backend in this build");
  Result<Backends> made = platform(options);
  // Decoding and the file dialog belong to the system layer. The desktops start from the fake
  // backends, so what they hand back here are the test stand-ins: replace them.
  if (made.ok()) {
    made->images = make_image_decoder();
    made->chooser = make_file_chooser();
  }
  return made;
}

}  // namespace perchkin
