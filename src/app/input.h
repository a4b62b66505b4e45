// The user's hand: the grab window that follows the cursor over a buddy, pressing, carrying,
// throwing, poking, double-clicks, the wheel, petting and the selection box. Runs inside the
// world tick on the user-interface thread; it reaches the window system only through the
// Desktop and Shell interfaces, so every desktop shares it.
#pragma once

#include "region/tile_grid.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace perchkin {

struct App;
struct Buddy;

// A left press on a buddy that has not been released yet.
struct PointerPress {
  double x = 0.0, y = 0.0;  // cursor at the press
  std::uint32_t buddy = 0;
  double time = 0.0;  // world time
};

struct GrabRect {
  PixelRect rect;
  bool shown = false;
};

struct SelectionBox {
  enum class Stage : std::uint8_t { none, waiting, dragging };
  Stage stage = Stage::none;
  float anchor_x = 0.0f, anchor_y = 0.0f;
  float corner_x = 0.0f, corner_y = 0.0f;
  float elapsed = 0.0f;

  bool active() const { return stage != Stage::none; }
};

// What the input asks of the action menu: open for `buddy` at (x, y), virtual-screen pixels,
// acting on `group` when a selection caught more than one buddy. The menu takes it when it
// exists; until then a request simply lapses.
struct MenuRequest {
  std::uint32_t buddy = 0;
  double x = 0.0, y = 0.0;
  std::vector<std::uint32_t> group;
};

// The buddy's hit box: 16 units wide around the feet, 10 units tall above them, widened by
// `margin` pixels on every side.
bool in_hit_box(const Buddy& b, double x, double y, double margin);

// Every tick after sensing: the grab window, the grab and selection events, the press, petting.
void handle_pointer(App& app);

// The selection box. start_selection does nothing without graphics.
void start_selection(App& app);
void end_selection(App& app, bool cancelled);

// Hides the grab window and forgets the hovered buddy (the crew went hidden or quiet).
void hide_grab_window(App& app);

// Ends a press: a buddy being carried drops where it is, without speed.
void drop_held_buddy(App& app);

}  // namespace perchkin
