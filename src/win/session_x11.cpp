#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace perchkin {

namespace {

// Xlib reports protocol errors through one process-wide handler whose default ends the
// process. Window-manager races (a window vanishing between two requests) are ordinary here,
// so errors are counted instead; the trap reads the count around a few calls that may fail.
std::atomic<int> g_error_count{0};
std::atomic<int> g_last_error{0};

int count_x_error(Display*, XErrorEvent* event) {
  g_last_error.store(event->error_code);
  g_error_count.fetch_add(1);
  return 0;
}

std::function<void()>& last_words() {
  static std::function<void()> words;
  return words;
}

[[noreturn]] int on_lost_display(Display* display) {
  static std::atomic<bool> ending{false};
  // A save that touches the dead connection again must not come back here.
  if (!ending.exchange(true)) {
    const char* name = display != nullptr ? DisplayString(display) : nullptr;
    std::fprintf(stderr, "lost the X display %s\n", name != nullptr ? name : "");
    std::fflush(stderr);
    if (last_words()) last_words()();
  }
  std::_Exit(1);
}

struct AtomName {
  Atom X11Atoms::*field;
  const char* name;
};

constexpr AtomName kAtomNames[] = {
    {&X11Atoms::net_client_list_stacking, "_NET_CLIENT_LIST_STACKING"},
    {&X11Atoms::net_active_window, "_NET_ACTIVE_WINDOW"},
    {&X11Atoms::net_wm_state, "_NET_WM_STATE"},
    {&X11Atoms::net_wm_state_fullscreen, "_NET_WM_STATE_FULLSCREEN"},
    {&X11Atoms::net_wm_state_hidden, "_NET_WM_STATE_HIDDEN"},
    {&X11Atoms::net_wm_window_type, "_NET_WM_WINDOW_TYPE"},
    {&X11Atoms::net_wm_window_type_dock, "_NET_WM_WINDOW_TYPE_DOCK"},
    {&X11Atoms::net_wm_window_type_desktop, "_NET_WM_WINDOW_TYPE_DESKTOP"},
    {&X11Atoms::net_wm_window_type_utility, "_NET_WM_WINDOW_TYPE_UTILITY"},
    {&X11Atoms::net_wm_window_type_toolbar, "_NET_WM_WINDOW_TYPE_TOOLBAR"},
    {&X11Atoms::net_wm_window_type_menu, "_NET_WM_WINDOW_TYPE_MENU"},
    {&X11Atoms::net_wm_window_type_splash, "_NET_WM_WINDOW_TYPE_SPLASH"},
    {&X11Atoms::net_wm_window_type_notification, "_NET_WM_WINDOW_TYPE_NOTIFICATION"},
    {&X11Atoms::net_wm_window_type_dropdown_menu, "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU"},
    {&X11Atoms::net_wm_window_type_popup_menu, "_NET_WM_WINDOW_TYPE_POPUP_MENU"},
    {&X11Atoms::net_wm_window_type_tooltip, "_NET_WM_WINDOW_TYPE_TOOLTIP"},
    {&X11Atoms::net_wm_window_type_normal, "_NET_WM_WINDOW_TYPE_NORMAL"},
    {&X11Atoms::net_wm_window_type_dialog, "_NET_WM_WINDOW_TYPE_DIALOG"},
    {&X11Atoms::net_frame_extents, "_NET_FRAME_EXTENTS"},
    {&X11Atoms::net_wm_desktop, "_NET_WM_DESKTOP"},
    {&X11Atoms::net_current_desktop, "_NET_CURRENT_DESKTOP"},
    {&X11Atoms::net_workarea, "_NET_WORKAREA"},
    {&X11Atoms::net_wm_strut_partial, "_NET_WM_STRUT_PARTIAL"},
    {&X11Atoms::net_wm_strut, "_NET_WM_STRUT"},
    {&X11Atoms::net_wm_name, "_NET_WM_NAME"},
    {&X11Atoms::net_supporting_wm_check, "_NET_SUPPORTING_WM_CHECK"},
    {&X11Atoms::net_system_tray_s0, "_NET_SYSTEM_TRAY_S0"},
    {&X11Atoms::net_system_tray_opcode, "_NET_SYSTEM_TRAY_OPCODE"},
    {&X11Atoms::net_system_tray_orientation, "_NET_SYSTEM_TRAY_ORIENTATION"},
    {&X11Atoms::net_system_tray_visual, "_NET_SYSTEM_TRAY_VISUAL"},
    {&X11Atoms::net_wm_cm_s0, "_NET_WM_CM_S0"},
    {&X11Atoms::net_wm_pid, "_NET_WM_PID"},
    {&X11Atoms::xembed, "_XEMBED"},
    {&X11Atoms::xembed_info, "_XEMBED_INFO"},
    {&X11Atoms::manager, "MANAGER"},
    {&X11Atoms::wm_state, "WM_STATE"},
    {&X11Atoms::wm_protocols, "WM_PROTOCOLS"},
    {&X11Atoms::wm_delete_window, "WM_DELETE_WINDOW"},
    {&X11Atoms::utf8_string, "UTF8_STRING"},
};

constexpr std::size_t kAtomCount = sizeof(kAtomNames) / sizeof(kAtomNames[0]);

double read_xft_scale(Display* display) {
  const char* manager = XResourceManagerString(display);
  if (manager == nullptr) return 1.0;
  XrmInitialize();
  XrmDatabase db = XrmGetStringDatabase(manager);
  if (db == nullptr) return 1.0;
  char* type = nullptr;
  XrmValue value{};
  double scale = 1.0;
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
    scale = scale_from_xft_dpi(value.addr);
  }
  XrmDestroyDatabase(db);
  return scale;
}

}  // namespace

void set_x11_last_words(std::function<void()> words) { last_words() = std::move(words); }

Result<std::string> choose_display(const char* env_display, bool socket0_exists) {
  if (env_display != nullptr && env_display[0] != '\0') return Result<std::string>::success(env_display);
  if (socket0_exists) return Result<std::string>::success(":0");
  return Result<std::string>::fail("no X display: DISPLAY is not set and no local X server was found");
}

double scale_from_xft_dpi(const char* value) {
  if (value == nullptr) return 1.0;
  char* end = nullptr;
  const double dpi = std::strtod(value, &end);
  if (end == value || !std::isfinite(dpi) || dpi < 24.0 || dpi > 960.0) return 1.0;
  return dpi / 96.0;
}

Result<std::unique_ptr<X11Session>> X11Session::open(const char* display_name) {
  Display* display = XOpenDisplay(display_name);
  if (display == nullptr) {
    const char* shown = display_name != nullptr ? display_name : std::getenv("DISPLAY");
    return Result<std::unique_ptr<X11Session>>::fail(
        std::string("cannot open the X display ") + (shown != nullptr ? shown : "(unset)"));
  }
  XSetErrorHandler(count_x_error);
  XSetIOErrorHandler(on_lost_display);

  std::unique_ptr<X11Session> s(new X11Session());
  s->display_ = display;
  s->screen_ = DefaultScreen(display);
  s->root_ = RootWindow(display, s->screen_);

  char* names[kAtomCount];
  Atom values[kAtomCount];
  for (std::size_t i = 0; i < kAtomCount; ++i) names[i] = const_cast<char*>(kAtomNames[i].name);
  if (XInternAtoms(display, names, static_cast<int>(kAtomCount), False, values) != 0) {
    for (std::size_t i = 0; i < kAtomCount; ++i) s->atoms_.*(kAtomNames[i].field) = values[i];
  }
  s->atoms_.cardinal = XA_CARDINAL;
  s->atoms_.window = XA_WINDOW;
  s->atoms_.atom = XA_ATOM;

  int event_base = 0, error_base = 0;
  if (XRRQueryExtension(display, &event_base, &error_base)) {
    int major = 0, minor = 0;
    // Every version reports a resize of the screen; monitors arrived with 1.5, and older
    // servers get the root window as one screen.
    if (XRRQueryVersion(display, &major, &minor)) {
      s->has_randr_ = true;
      s->has_monitors_ = major > 1 || (major == 1 && minor >= 5);
      s->randr_event_base_ = event_base;
    }
  }
  if (XFixesQueryExtension(display, &event_base, &error_base)) {
    int major = 0, minor = 0;
    s->has_xfixes_ = XFixesQueryVersion(display, &major, &minor) && major >= 2;
  }
  s->scale_ = read_xft_scale(display);
  return Result<std::unique_ptr<X11Session>>::success(std::move(s));
}

X11Session::~X11Session() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::vector<ScreenRect> X11Session::monitors() const {
  std::vector<ScreenRect> out;
  if (has_monitors_) {
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display_, root_, True, &count);
    if (info != nullptr) {
      for (int i = 0; i < count; ++i) {
        if (info[i].width <= 0 || info[i].height <= 0) continue;
        out.push_back({static_cast<double>(info[i].x), static_cast<double>(info[i].y),
                       static_cast<double>(info[i].x + info[i].width),
                       static_cast<double>(info[i].y + info[i].height)});
      }
      XRRFreeMonitors(info);
    }
  }
  if (out.empty()) {
    out.push_back({0.0, 0.0, static_cast<double>(DisplayWidth(display_, screen_)),
                   static_cast<double>(DisplayHeight(display_, screen_))});
  }
  return out;
}

ScreenRect X11Session::screen_rect() const {
  const std::vector<ScreenRect> all = monitors();
  ScreenRect box = all.front();
  for (const ScreenRect& m : all) {
    box.left = std::min(box.left, m.left);
    box.top = std::min(box.top, m.top);
    box.right = std::max(box.right, m.right);
    box.bottom = std::max(box.bottom, m.bottom);
  }
  return box;
}

std::optional<X11Property> X11Session::read_property(Window window, Atom property, Atom type,
                                                      int format, long max_items) const {
  if (window == None || property == None || max_items <= 0) return std::nullopt;
  Atom actual_type = None;
  int actual_format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // The request's length counts 32-bit units, whatever the format.
  const long units = format == 32 ? max_items : (max_items * format + 31) / 32;
  const int status = XGetWindowProperty(display_, window, property, 0, units, False, type,
                                        &actual_type, &actual_format, &count, &after, &data);
  std::optional<X11Property> out;
  const bool type_ok = type == AnyPropertyType || actual_type == type;
  if (status == Success && actual_type != None && type_ok && actual_format == format &&
      after == 0 && count <= static_cast<unsigned long>(max_items) &&
      (count == 0 || data != nullptr)) {
    X11Property p;
    p.type = actual_type;
    p.format = actual_format;
    if (format == 32) {
      // Xlib hands format-32 data out as an array of long, even where long is 64 bits.
      const long* items = reinterpret_cast<const long*>(data);
      p.items32.assign(items, items + count);
    } else if (format == 16) {
      p.bytes.assign(data, data + count * 2);
    } else {
      p.bytes.assign(data, data + count);
    }
    out = std::move(p);
  }
  if (data != nullptr) XFree(data);
  return out;
}

std::vector<long> X11Session::read_longs(Window window, Atom property, Atom type,
                                         long max_items) const {
  auto p = read_property(window, property, type, 32, max_items);
  return p ? std::move(p->items32) : std::vector<long>{};
}

std::optional<long> X11Session::read_long(Window window, Atom property, Atom type) const {
  auto p = read_property(window, property, type, 32, 1);
  if (!p || p->items32.size() != 1) return std::nullopt;
  return p->items32[0];
}

std::optional<std::string> X11Session::read_string(Window window, Atom property,
                                                   long max_bytes) const {
  auto p = read_property(window, property, AnyPropertyType, 8, max_bytes);
  if (!p) return std::nullopt;
  return std::string(p->bytes.begin(), p->bytes.end());
}

bool X11Session::holds_client(Window w) const {
  const auto has_state = [&](Window x) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display_, x, atoms_.wm_state, 0, 0, False,
                                          AnyPropertyType, &type, &format, &count, &after, &data);
    if (data != nullptr) XFree(data);
    return status == Success && type != None;
  };
  if (has_state(w)) return true;
  Window r = None, parent = None, *children = nullptr;
  unsigned n = 0;
  if (XQueryTree(display_, w, &r, &parent, &children, &n) == 0) return false;
  bool found = false;
  // A frame holds its client and a few decorations; more children than this is no frame.
  constexpr unsigned kMostLooked = 16;
  for (unsigned i = 0; i < n && i < kMostLooked && !found; ++i) found = has_state(children[i]);
  if (children != nullptr) XFree(children);
  return found;
}

int X11Session::last_error() const { return g_last_error.load(); }

void X11Session::begin_trap() {
  XSync(display_, False);
  g_error_count.store(0);
  g_last_error.store(0);
}

bool X11Session::end_trap() {
  XSync(display_, False);
  return g_error_count.load() == 0;
}

}  // namespace perchkin
