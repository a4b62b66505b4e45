// The program's own windows and the desktop shell: the overlay it draws on, the three input
// windows (grab, menu, selection), the tray icon, the global hotkeys, and the events they
// produce. Window procedures only append to the EventRecords that pump() fills; the frame loop
// and the input handling read them on the same thread. One implementation per desktop.
#pragma once

#include "base/status.h"
#include "region/tile_grid.h"
#include "win/desktop.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace perchkin {

enum class ShellWindow : std::uint8_t { overlay, grab, menu, selection };

// (kind, code): 0 tray left click, 1 tray right click, 2 hotkey with its id.
struct ShellEvent {
  std::uint32_t kind = 0;
  std::uint32_t code = 0;
};
inline constexpr std::uint32_t kShellTrayLeft = 0;
inline constexpr std::uint32_t kShellTrayRight = 1;
inline constexpr std::uint32_t kShellHotkey = 2;

// Hotkey ids (Ctrl+Alt+Shift with the letter), registered in this order.
enum HotkeyId : std::uint32_t {
  kHotkeyMenu = 1,       // B
  kHotkeyHide = 2,       // H
  kHotkeySummon = 3,     // S
  kHotkeyClear = 4,      // C
  kHotkeySelect = 5,     // G
  kHotkeyRemoveAll = 6,  // R
};

// One event from an input window: its kind and, for the wheel and keys, a value.
struct InputEvent {
  std::int32_t kind = 0;
  std::int32_t value = 0;
};

// Grab window kinds.
inline constexpr std::int32_t kGrabLeftDown = 0, kGrabLeftUp = 1, kGrabDoubleClick = 2,
                              kGrabRightDown = 3, kGrabWheel = 4;
// Selection window kinds.
inline constexpr std::int32_t kSelectLeftDown = 0, kSelectLeftUp = 1, kSelectCancel = 2;
// Menu window kinds; a key event's value is a key code below.
inline constexpr std::int32_t kMenuLeftDown = 0, kMenuRightDown = 1, kMenuRightUp = 2,
                              kMenuMiddleDown = 3, kMenuWheel = 4, kMenuKey = 5,
                              kMenuActivation = 6;  // value 1 activated, 0 deactivated
// Key codes, the same on every desktop: letters (upper case) and digits are their ASCII codes,
// and so are the keys ASCII names; the others follow. 0 is a key nobody answers.
inline constexpr std::int32_t kKeyBack = 0x08, kKeyTab = 0x09, kKeyEnter = 0x0D,
                              kKeyEscape = 0x1B, kKeySpace = 0x20, kKeyDelete = 0x7F,
                              kKeyLeft = 0x100, kKeyUp = 0x101, kKeyRight = 0x102,
                              kKeyDown = 0x103, kKeyPageUp = 0x104, kKeyPageDown = 0x105,
                              kKeyHome = 0x106, kKeyEnd = 0x107;
// Added to a menu key's code while Shift is held (the arrows then move a pin).
inline constexpr std::int32_t kMenuKeyShift = 0x10000;

struct EventRecords {
  bool display_changed = false;
  bool quit = false;  // the overlay was closed through the shell
  std::vector<ShellEvent> shell_events;
  std::vector<InputEvent> grab;
  std::vector<InputEvent> selection;
  std::vector<InputEvent> menu;
};

// The menu window's clickable shape within its rectangle.
struct MenuShape {
  bool ellipse = true;          // else a rounded rectangle
  std::int32_t corner = 0;      // the rounded rectangle's corner radius
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Creates the four windows over the virtual screen; the overlay is shown, the rest hidden.
  virtual Status create_windows(const ScreenRect& screen, double scale) = 0;
  // Drains the window system's queue into the records.
  virtual void pump(EventRecords& records) = 0;
  // Shows (without taking the focus) or hides a window.
  virtual void show(ShellWindow window, bool shown) = 0;
  // Moves and sizes a window (virtual-screen pixels) and shows it, topmost, without taking the
  // focus.
  virtual void place(ShellWindow window, const PixelRect& rect) = 0;
  virtual void set_menu_shape(const MenuShape& shape) = 0;
  // Brings an input window (menu or selection) to the front with the keyboard focus; the
  // window that had it is remembered and gets it back through restore_focus().
  virtual void take_focus(ShellWindow window) = 0;
  virtual void restore_focus() = 0;
  virtual void add_tray_icon() = 0;
  virtual void remove_tray_icon() = 0;
  // Registers the six hotkeys; one another program holds is skipped.
  virtual void register_hotkeys() = 0;
  // The platform's handle of a window, for the renderer to draw into (HWND, X11 Window).
  virtual std::uintptr_t native_window(ShellWindow window) = 0;
  // Runs `last_words` on the user-interface thread when the window system goes away for good
  // and the process must end (the X server closing the connection), before it ends.
  virtual void set_last_words(std::function<void()> last_words) { (void)last_words; }
  // Desktops that tell a program about the pointer only over its own windows (Wayland) take
  // the pointer over every buddy's grab box, not just over the one under the cursor.
  virtual bool wants_pointer_boxes() const { return false; }
  virtual void set_pointer_boxes(std::span<const PixelRect> boxes) { (void)boxes; }
};

// No windows at all: what --headless and the tests run with. Records what it was asked.
class FakeShell final : public Shell {
 public:
  EventRecords queued;  // handed out by the next pump()
  std::vector<PixelRect> placed[4];
  bool shown[4] = {false, false, false, false};
  bool tray = false;
  bool hotkeys = false;
  int focus_taken = 0;
  int focus_restored = 0;

  Status create_windows(const ScreenRect&, double) override { return Status::success(); }
  void pump(EventRecords& records) override;
  void show(ShellWindow window, bool on) override { shown[static_cast<int>(window)] = on; }
  void place(ShellWindow window, const PixelRect& rect) override;
  void set_menu_shape(const MenuShape&) override {}
  void take_focus(ShellWindow) override { ++focus_taken; }
  void restore_focus() override { ++focus_restored; }
  void add_tray_icon() override { tray = true; }
  void remove_tray_icon() override { tray = false; }
  void register_hotkeys() override { hotkeys = true; }
  std::uintptr_t native_window(ShellWindow) override { return 0; }
};

}  // namespace perchkin
