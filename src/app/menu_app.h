// The action menu inside the App: opening it for a buddy or a selection, its input window, its
// events each tick, what its items do to the crew and the scene, its sounds, and its place in
// the frame.
#pragma once

#include "app/app.h"

#include <cstdint>
#include <span>

namespace perchkin {

// Opens the menu for a request of the input (right-click, selection) or the loop; false when
// its buddy is gone.
bool open_menu(App& app, const MenuRequest& request);
// The menu hotkey and the tray: the menu for the first buddy at the cursor, or the Studio when
// the crew is empty.
void open_menu_at_cursor(App& app);
void close_menu(App& app);
// Every tick: closing and opening requests, the pointer, the window's events.
void menu_tick(App& app);
// The world stands still behind an open menu when the user asked for that.
bool menu_pauses_world(const App& app);
// Puts the open menu and its targets into the frame.
void add_menu_to_frame(App& app, FrameInput& in);
// Carries out one item for the buddies the menu acts on.
void perform_menu_item(App& app, const MenuItem& item, std::span<const std::uint32_t> targets);

}  // namespace perchkin
