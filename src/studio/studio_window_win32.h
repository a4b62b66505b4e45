// The Studio's window on Windows: class "PerchkinStudio", a fixed-size captioned window with the
// dark title bar, drawn with Direct2D on a render target of its own.
#pragma once

#include "studio/studio_window.h"

#include <memory>

namespace perchkin {

std::unique_ptr<StudioWindow> make_win32_studio_window();

// The window's handle while it is open (null otherwise), for tests.
void* studio_window_handle(StudioWindow& window);

}  // namespace perchkin
