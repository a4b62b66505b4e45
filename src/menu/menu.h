// The right-click action menu as state and rules: the fixed item table, the themes, hit tests
// of the radial wheel and the dropdown panel, hover, keyboard and wheel navigation, pins, the
// opening animation and where the menu's input window goes. No window system here: the app
// feeds it pointer positions and input events and carries out what it answers.
#pragma once

#include "gpu/canvas.h"
#include "region/tile_grid.h"
#include "base/geometry.h"
#include "win/shell.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace perchkin {

// What an item does. The numbers are the action tags the settings and logs speak of.
enum class MenuTag : std::uint8_t {
  act = 0,
  doodle = 1,
  heart = 2,
  star = 3,
  ledge = 4,
  clear = 5,
  fire = 6,
  rain = 7,
  bomb = 8,
  fireworks = 9,
  snow = 10,
  add = 11,
  add_ten = 12,
  remove = 13,
  remove_all = 14,
  bigger = 15,
  smaller = 16,
  summon = 17,
  studio = 18,
  select = 19,
  hide_all = 20,
  quit = 21,
};

struct MenuAction {
  MenuTag tag = MenuTag::act;
  std::string_view act;  // for act items
  int page = 0;          // for Studio items
};

struct MenuItem {
  MenuAction action;
  std::string_view symbol, label, hint;
};

struct MenuSection {
  std::string_view symbol, name;
  std::span<const MenuItem> items;
  std::uint32_t colour = 0;  // 0xRRGGBB
};

inline constexpr int kMenuSectionCount = 5;
inline constexpr std::size_t kMenuMaxPins = 6;
inline constexpr std::uint32_t kMenuMarkRgb = 0xFFD23F;  // pins, pin dots and guides
inline constexpr std::uint32_t kMenuConnectorRgb = 0xD77757;

std::span<const MenuSection> menu_sections();

struct MenuItemRef {
  int section = 0;
  int item = 0;
  friend bool operator==(const MenuItemRef&, const MenuItemRef&) = default;
};
const MenuItem& menu_item(MenuItemRef ref);
// Pins name their item by its label.
std::optional<MenuItemRef> menu_item_by_label(std::string_view label);

struct MenuTheme {
  std::string_view name;
  std::uint32_t background = 0, text = 0, dim = 0;
};
// Four themes; an index above 3 is the last one.
const MenuTheme& menu_theme(int index);

// Hit-test geometry, in menu units (pixels divided by the menu scale).
inline constexpr double kHubRadius = 54.0;
inline constexpr double kSectionRingOuter = 123.0;
inline constexpr double kOuterRingOuter = 196.0;
inline constexpr double kWheelHalf = 206.0;  // the input window's half-size
inline constexpr double kSectionStepDeg = 72.0;
inline constexpr double kItemStepRad = 0.6632251;   // 38 degrees
inline constexpr double kItemReachRad = 0.33161256;  // 19 degrees
inline constexpr double kPanelWidth = 376.0, kPanelHeight = 332.0;
inline constexpr double kPanelHeader = 44.0, kPanelRow = 40.0, kPanelLeftColumn = 166.0;
inline constexpr double kPanelCorner = 16.0;
inline constexpr double kMenuTopRoom = 36.0;  // kept free above the window

// Drawn sizes, kept inside the hit areas above.
inline constexpr double kSectionDistance = 87.0;
inline constexpr double kSectionBubble = 30.0;
inline constexpr double kItemDistance = 160.0;
inline constexpr double kItemBubble = 24.0;
inline constexpr double kHubDrawn = 44.0;

enum class MenuHoverKind : std::uint8_t { none, centre, section, item, empty, outside };

struct MenuHover {
  MenuHoverKind kind = MenuHoverKind::none;
  int index = -1;  // the section, or the item (a pin at the top level)
  friend bool operator==(const MenuHover&, const MenuHover&) = default;
};

// Directions, radians, clockwise from the right (y grows downwards).
double menu_section_angle(int section);
// Item i of n around `level` (-1 the top level, where the pins sit).
double menu_item_angle(int level, int i, int n);

// (dx, dy) is the pointer minus the anchor, in pixels; m the menu scale; `items` the number of
// items on the outer ring (the open section's, or the pins at the top level).
MenuHover wheel_hit(double dx, double dy, double m, int level, int items);
// `items` is the open section's item count, 0 at the top level.
MenuHover panel_hit(double dx, double dy, double m, int items);

// The overshooting ease of every opening animation: 0 at 0, 1 at 1.
double menu_ease(double t);

struct MenuStyle {
  bool panel = false;
  int theme = 0;
  bool rainbow = true;
  std::uint32_t accent = 0xD77757;
  double opacity = 0.94;
  double speed = 1.0;
};

// The one menu of the App. Times are seconds on the loop clock, which keeps running while the
// world is paused behind the menu.
struct MenuState {
  bool open = false;
  int level = -1;  // -1 the top level, else the open section
  MenuHover hover;
  double anchor_x = 0.0, anchor_y = 0.0;  // overlay pixels
  double scale = 1.0;                      // m: UI scale times the menu size setting
  MenuStyle style;
  double opened_at = 0.0, level_at = 0.0, hover_at = 0.0, animated_at = 0.0;
  std::array<float, kMenuSectionCount> section_hover{};
  std::array<float, 8> item_hover{};
  std::vector<std::string> pins;
  std::vector<std::uint32_t> targets;
  bool can_add = true;     // the crew is below its limit
  bool can_remove = true;  // more than one buddy is left
  bool focus_ring = false;
  bool activated = false;
  std::optional<std::pair<double, double>> last_pointer;  // overlay pixels
};

struct MenuOpening {
  double anchor_x = 0.0, anchor_y = 0.0;  // overlay pixels
  double scale = 1.0;
  MenuStyle style;
  std::vector<std::string> pins;
  std::vector<std::uint32_t> targets;
};
void menu_open(MenuState& menu, MenuOpening opening, double now);

// The items on the outer ring now: the open section's, or the pins' items at the top level.
std::vector<MenuItemRef> menu_ring_items(const MenuState& menu);
std::optional<MenuItemRef> menu_hovered_item(const MenuState& menu);
bool menu_item_enabled(const MenuState& menu, const MenuItem& item);
bool menu_pinned(const MenuState& menu, std::string_view label);
MenuHover menu_hit(const MenuState& menu, double x, double y);

// What the app is to do after an input.
struct MenuOutcome {
  enum class Kind : std::uint8_t { none, close, perform };
  Kind kind = Kind::none;
  MenuItemRef item;           // for perform
  bool pins_changed = false;  // save the settings
};

// The pointer at (x, y), overlay pixels: hover follows it; moving turns the focus ring off.
void menu_pointer(MenuState& menu, double x, double y, double now);
// One event of the menu's input window (win/shell.h kinds). Key events may carry
// kMenuKeyShift.
MenuOutcome menu_event(MenuState& menu, const InputEvent& e, double now);
// Steps the hover around the ring (+1 forward, -1 back), as the arrow keys do.
void menu_step(MenuState& menu, int step, double now);
// Pins or unpins the hovered item; false when nothing changed.
bool menu_toggle_pin(MenuState& menu, double now);
// Moves the hovered pin one place; false when nothing moved.
bool menu_move_pin(MenuState& menu, int step, double now);
// Eases the hover amounts towards what is hovered.
void menu_animate(MenuState& menu, double now);

// The input window: its rectangle in desktop pixels, its shape, and the centre the menu is
// drawn around (the anchor after keeping the window inside the work area).
struct MenuWindow {
  PixelRect rect;
  MenuShape shape;
  double centre_x = 0.0, centre_y = 0.0;
};
MenuWindow menu_window(double anchor_x, double anchor_y, double k, bool panel,
                       const std::vector<ScreenRect>& work_areas, const ScreenRect& screen);

// Where the menu draws the things it knows nothing of: the buddy it acts on.
struct MenuTargetView {
  bool single = false;           // one target: the connector and the guides are drawn
  double feet_x = 0.0, feet_y = 0.0;  // overlay pixels
  double body_y = 0.0;                // its body centre
  double facing = 1.0;
  double overlay_bottom = 1e9;  // the hint line moves above the menu rather than below this
};

// Where a hovered placing item puts its thing, relative to the feet and facing f.
struct MenuGuide {
  enum class Kind : std::uint8_t { none, box, bar, point };
  Kind kind = Kind::none;
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;  // box corners; bar ends; the point in x0, y0
};
MenuGuide menu_guide(MenuTag tag, double x, double y, double facing, double m);

// Contrast of two 0xRRGGBB colours by their relative luminance, from 1 to 21.
double menu_contrast(std::uint32_t a, std::uint32_t b);
// `colour` when it stands out `ratio` : 1 from `background`; else moved towards black or white,
// whichever the background is further from, just far enough (ratios up to 4.5 always fit).
std::uint32_t menu_readable(std::uint32_t colour, std::uint32_t background, double ratio);

// Draws the menu in overlay pixels (the second 2D pass).
void draw_menu(Canvas& canvas, const MenuState& menu, const MenuTargetView& target, double now);

// The click sounds, mono 16-bit at `rate`: short and quiet.
std::vector<std::int16_t> menu_click_wave(bool choose, int rate);

}  // namespace perchkin
