// The one X connection the desktop shares: the shell's windows, the desktop sensing, the tray
// and the hotkeys all talk through it, on the user-interface thread only. Atoms are interned
// once at open; property reads check type, format and count before handing out values.
// Xlib's macros (None, True, Bool) follow this header: test files include gtest first.
#pragma once

#include "base/status.h"
#include "win/desktop.h"

#include <X11/Xlib.h>
// Xlib spells its status type as a macro, which would rename perchkin::Status in every file
// that sees both. A global typedef serves Xlib's declarations (and any X header included after
// this one) and leaves ours alone. Include this header before any other X header.
#undef Status
typedef int Status;

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace perchkin {

// Atoms every X11 part of the desktop uses, interned in one round trip.
struct X11Atoms {
  Atom net_client_list_stacking = None;
  Atom net_active_window = None;
  Atom net_wm_state = None;
  Atom net_wm_state_fullscreen = None;
  Atom net_wm_state_hidden = None;
  Atom net_wm_window_type = None;
  Atom net_wm_window_type_dock = None;
  Atom net_wm_window_type_desktop = None;
  Atom net_wm_window_type_utility = None;
  Atom net_wm_window_type_toolbar = None;
  Atom net_wm_window_type_menu = None;
  Atom net_wm_window_type_splash = None;
  Atom net_wm_window_type_notification = None;
  Atom net_wm_window_type_dropdown_menu = None;
  Atom net_wm_window_type_popup_menu = None;
  Atom net_wm_window_type_tooltip = None;
  Atom net_wm_window_type_normal = None;
  Atom net_wm_window_type_dialog = None;
  Atom net_frame_extents = None;
  Atom net_wm_desktop = None;
  Atom net_current_desktop = None;
  Atom net_workarea = None;
  Atom net_wm_strut_partial = None;
  Atom net_wm_strut = None;
  Atom net_wm_name = None;
  Atom net_supporting_wm_check = None;
  Atom net_system_tray_s0 = None;
  Atom net_system_tray_opcode = None;
  Atom net_system_tray_orientation = None;
  Atom net_system_tray_visual = None;
  Atom net_wm_cm_s0 = None;
  Atom net_wm_pid = None;
  Atom xembed = None;
  Atom xembed_info = None;
  Atom manager = None;
  Atom wm_state = None;
  Atom wm_protocols = None;
  Atom wm_delete_window = None;
  Atom utf8_string = None;
  Atom cardinal = None;
  Atom window = None;
  Atom atom = None;
};

class X11Session;

// A property's items, checked: `format` 8, 16 or 32 and at most `max_items` of them. Format-32
// items come back from Xlib as `long`s, whatever the server's word size; they are kept as such.
struct X11Property {
  Atom type = None;
  int format = 0;
  std::vector<long> items32;            // format 32
  std::vector<unsigned char> bytes;     // format 8 (and 16 as raw pairs)
};

class X11Session {
 public:
  // Opens `display_name` (null: $DISPLAY). Fails with a short reason.
  static Result<std::unique_ptr<X11Session>> open(const char* display_name);
  ~X11Session();
  X11Session(const X11Session&) = delete;
  X11Session& operator=(const X11Session&) = delete;

  Display* display() const { return display_; }
  int screen_number() const { return screen_; }
  Window root() const { return root_; }
  const X11Atoms& atoms() const { return atoms_; }

  // The virtual screen: the bounding box of the XRandR monitors (the root window without
  // XRandR). Re-read on every call: cheap, and right after a RandR change.
  ScreenRect screen_rect() const;
  // Each monitor's rectangle (one whole-root rectangle without XRandR).
  std::vector<ScreenRect> monitors() const;
  // Xft.dpi / 96, else 1.0; read at open.
  double scale() const { return scale_; }
  // The first event number of the RandR extension (0: none), for pump() to recognise changes;
  // any RandR version reports them.
  int randr_event_base() const { return randr_event_base_; }
  bool has_randr() const { return has_randr_; }
  bool has_xfixes() const { return has_xfixes_; }

  // Reads a property of `type` (AnyPropertyType: any) and `format`. Nothing when the property
  // is missing, has another type or format, or more than `max_items` items.
  std::optional<X11Property> read_property(Window window, Atom property, Atom type, int format,
                                           long max_items) const;
  // Format-32 helpers: the longs of a CARDINAL, WINDOW or ATOM property.
  std::vector<long> read_longs(Window window, Atom property, Atom type, long max_items) const;
  std::optional<long> read_long(Window window, Atom property, Atom type) const;
  std::optional<std::string> read_string(Window window, Atom property, long max_bytes) const;

  // X errors are caught instead of ending the process: run `work` and report whether any
  // request it made failed (synchronous; for the few calls that may fail, like XGrabKey).
  template <typename F>
  bool without_errors(F&& work) {
    begin_trap();
    work();
    return end_trap();
  }
  // The last error code caught by the trap (BadAccess, BadWindow ...), 0 when none.
  int last_error() const;

  // Whether the root's child `w` is a window manager's frame (it or a child of it carries
  // WM_STATE, which the window manager puts on the clients it manages). Some window managers
  // make their frames override-redirect too; those are ordinary windows all the same.
  bool holds_client(Window w) const;

  // Whoever reads this connection's events shows each to note_event. It keeps the serial of the
  // last MIT-SHM completion (of `event_type`, once watched), so the software presenter knows the
  // server has read its image without waiting for a round trip.
  void watch_shm_completions(int event_type) { shm_completion_type_ = event_type; }
  void note_event(const XEvent& e) {
    if (shm_completion_type_ >= 0 && e.type == shm_completion_type_)
      shm_completed_ = std::max(shm_completed_, e.xany.serial);
  }
  unsigned long shm_completed() const { return shm_completed_; }

 private:
  X11Session() = default;
  void begin_trap();
  bool end_trap();

  Display* display_ = nullptr;
  int screen_ = 0;
  Window root_ = None;
  X11Atoms atoms_;
  double scale_ = 1.0;
  bool has_randr_ = false;
  bool has_monitors_ = false;  // RandR 1.5
  bool has_xfixes_ = false;
  int randr_event_base_ = 0;
  int shm_completion_type_ = -1;
  unsigned long shm_completed_ = 0;
};

// Losing the X server ends the process: Xlib cannot go on after it. Before the end, standard
// error says "lost the X display {name}" and `last_words` runs (the companion saves its changed
// settings). One for the process, as Xlib's handler is.
void set_x11_last_words(std::function<void()> last_words);

// Finds the display to open: $DISPLAY, or ":0" when it is unset and the local X socket of
// display 0 exists (a companion started by an assistant may get a minimal environment).
// `env_display` and `socket0_exists` are passed in so the choice can be tested.
Result<std::string> choose_display(const char* env_display, bool socket0_exists);

// The scale from an Xft.dpi resource value ("96", "144.0"); 1.0 when missing or unusable.
double scale_from_xft_dpi(const char* value);

}  // namespace perchkin
