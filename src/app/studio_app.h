// The Studio inside the App: opening its window on a page, its share of every frame (input,
// drawing, what its pages ask for, saving), and closing it. While the window is closed none
// of this costs anything; while it is open a frame is drawn only when its input changed.
#pragma once

#include "app/app.h"
#include "ipc/command.h"

#include <optional>

namespace perchkin {

inline constexpr std::string_view kStudioOpenFailed = "Could not open Perchkin Studio: ";

// The `studio` command: opens the window, or brings it to the front, on the page its optional
// "page" argument names (an index 0-6 or a page name). Without one a new window starts on Look
// and an open one stays where it is.
CommandReply studio_command(App& app, const json& args);
// Opens the Studio on `page` for the menu and the hotkeys; a failure becomes a message box.
void open_studio(App& app, int page);
// Once per frame: the window's input, a frame when it needs one, the pages' requests, and the
// close button.
void studio_step(App& app);
// What one frame's pages did: changed settings go to the crew now and are saved half a second
// later ("Buddy size" resizes the crew on screen too, from `size_before`); requests are carried
// out in order.
void apply_studio_result(App& app, const StudioFrameResult& result, double size_before);
// Closes the window and saves unsaved settings at once.
void close_studio(App& app);

}  // namespace perchkin
