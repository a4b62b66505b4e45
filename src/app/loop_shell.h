// The frame loop's part that talks to the windows and the renderer: the message pump, screen
// changes, tray and hotkey actions, hiding and showing, the full-screen check and drawing.
// Only runs while graphics exist.
#pragma once

#include "app/app.h"

#include <optional>

namespace perchkin {

// Drains the window system's events and acts on them: quit, a changed screen, tray clicks and
// hotkeys.
void pump_shell(App& app);

// Flips the crew between shown and hidden by the user (tray click, Ctrl+Alt+Shift+H). `tray`:
// with an empty crew the tray click brings a buddy back instead.
void toggle_hidden(App& app, bool tray);

// Once a second of loop time: quiet while the user hid the crew or a full-screen program is in
// front (never while a benchmark runs).
void check_fullscreen(App& app, double now);

// Hides or shows the overlay for `quiet`; nothing when it already matches.
void set_quiet(App& app, bool quiet);

// Draws one frame. Nothing when the renderer failed; the loop then ends with exit code 1 after
// "drawing failed: {error}".
std::optional<FrameResult> draw_frame(App& app);

// Closes the action menu and cancels an active selection box (hiding, a new screen). Opening
// the menu at the cursor is app/menu_app.h's.
void close_menu_and_selection(App& app);

}  // namespace perchkin
