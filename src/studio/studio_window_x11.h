// The Studio's window on X11: an ordinary managed top-level window of its own X connection,
// opened only while the window exists, drawn with Cairo into memory and put on the window whole.
#pragma once

#include "studio/studio_window.h"

#include <memory>
#include <string>

namespace perchkin {

// `display_name`: the display the rest of the desktop uses.
std::unique_ptr<StudioWindow> make_x11_studio_window(std::string display_name);

// The character a key gives when no input method is at hand: Latin-1 and Unicode keysyms as
// they are; BackSpace, Tab, Return, Escape and Delete as the control codes; 0 for the rest.
char32_t studio_keysym_char(unsigned long keysym);

}  // namespace perchkin
