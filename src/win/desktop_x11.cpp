// The Desktop on X11: monitors and work areas, the managed windows front to back, the pointer,
// idle time, the key-press probe and the full-screen test. What the window manager says is
// cached per window and re-read only after a PropertyNotify or ConfigureNotify says it changed,
// so a tick costs no round trip per window. The pointer and idle time are asked of the server
// only after XInput's raw events say the user did something (or, as a safety net, when the last
// answer is old), so a still desktop costs no round trips at all.
#include "win/desktop_x11.h"

#include "win/session_x11.h"
#include "win/wm_cache.h"
#include "win/wm_rules.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>

#include <algorithm>
#include <array>
#include <chrono>

namespace perchkin {

namespace {

constexpr long kMaxClients = 4096;
constexpr long kMaxAtoms = 64;
// Within one tick the pointer is asked for more than once; one query serves them all.
constexpr double kPointerReuse = 0.004;
constexpr double kIdleReuse = 0.25;
// Without raw events since the last answer, nothing moved the pointer or touched an input
// device; only a warp by another program goes unseen, so an answer is trusted this long.
constexpr double kPointerTrust = 1.0;
constexpr double kIdleTrust = 5.0;

double seconds_now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct ExtraAtoms {
  Atom maximized_vert = None;
  Atom maximized_horz = None;
  Atom gtk_frame_extents = None;
  Atom wm_name = XA_WM_NAME;
};

class X11Desktop final : public Desktop, private WmSource {
 public:
  X11Desktop(std::unique_ptr<X11Session> session, Shell& shell)
      : session_(std::move(session)), dpy_(session_->display()), shell_(shell) {
    extra_.maximized_vert = XInternAtom(dpy_, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    extra_.maximized_horz = XInternAtom(dpy_, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    extra_.gtk_frame_extents = XInternAtom(dpy_, "_GTK_FRAME_EXTENTS", False);
    const Window root = session_->root();
    XSelectInput(dpy_, root, PropertyChangeMask | SubstructureNotifyMask | StructureNotifyMask);
    if (session_->has_randr()) XRRSelectInput(dpy_, root, RRScreenChangeNotifyMask);
    int event = 0, error = 0;
    if (XQueryExtension(dpy_, "XInputExtension", &xi_opcode_, &event, &error)) {
      // 2.1 and later deliver raw key presses while another client grabs the keyboard too.
      int major = 2, minor = 2;
      if (XIQueryVersion(dpy_, &major, &minor) == Success) {
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_RawKeyPress);
        XISetMask(bits.data(), XI_RawButtonPress);
        XISetMask(bits.data(), XI_RawButtonRelease);
        XISetMask(bits.data(), XI_RawMotion);
        if (major > 2 || minor >= 2) XISetMask(bits.data(), XI_RawTouchBegin);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
        XISelectEvents(dpy_, root, &mask, 1);
      } else {
        xi_opcode_ = -1;
      }
    } else {
      xi_opcode_ = -1;
    }
    int ss_event = 0, ss_error = 0;
    has_idle_ = XScreenSaverQueryExtension(dpy_, &ss_event, &ss_error) != 0;
    idle_info_ = has_idle_ ? XScreenSaverAllocInfo() : nullptr;
    learn_overrides();
    XFlush(dpy_);
  }

  ~X11Desktop() override {
    if (idle_info_ != nullptr) XFree(idle_info_);
  }

  ScreenRect screen() override {
    drain();
    refresh_monitors();
    return screen_;
  }
  double display_scale() override { return session_->scale(); }

  std::vector<ScreenRect> work_areas() override {
    drain();
    refresh_monitors();
    if (cache_.refresh_root(*this)) struts_dirty_ = true;
    if (struts_dirty_) {
      std::vector<std::vector<long>> struts;
      const X11Atoms& a = session_->atoms();
      for (std::int64_t id : cache_.stacking()) {
        const auto w = static_cast<Window>(id);
        auto partial = session_->read_longs(w, a.net_wm_strut_partial, XA_CARDINAL, 12);
        if (partial.size() == 12) {
          struts.push_back(std::move(partial));
          continue;
        }
        auto plain = session_->read_longs(w, a.net_wm_strut, XA_CARDINAL, 4);
        if (plain.size() == 4) struts.push_back(std::move(plain));
      }
      work_ = perchkin::work_areas(monitors_, struts, root_width_, root_height_);
      struts_dirty_ = false;
    }
    return work_;
  }

  std::vector<DesktopWindow> windows() override {
    drain();
    if (cache_.refresh_root(*this)) struts_dirty_ = true;
    refresh_own();
    return cache_.windows(*this, own_ids_);
  }

  PointOwner window_at(double x, double y) override {
    drain();
    if (cache_.stale()) (void)windows();
    return cover_at(cache_.listed(), own_rects_, x, y);
  }

  CursorPos cursor() override {
    query_pointer();
    return pointer_;
  }
  PointerButtons buttons() override {
    query_pointer();
    return buttons_;
  }

  double idle_seconds() override {
    if (!has_idle_ || idle_info_ == nullptr) return 0.0;
    const double now = seconds_now();
    drain();
    const double age = now - idle_read_at_;
    if (age < kIdleReuse || (raw_events() && !input_since_idle_ && age < kIdleTrust))
      return idle_ + age;
    idle_read_at_ = now;
    input_since_idle_ = false;
    idle_ = XScreenSaverQueryInfo(dpy_, session_->root(), idle_info_) != 0
                ? static_cast<double>(idle_info_->idle) / 1000.0
                : 0.0;
    return idle_;
  }

  bool key_pressed_since_last_probe() override {
    drain();
    const bool pressed = key_presses_ > 0;
    key_presses_ = 0;
    return pressed;
  }

  bool fullscreen_in_front() override {
    drain();
    if (screen_taken()) return true;
    if (cache_.refresh_root(*this)) struts_dirty_ = true;
    const X11Atoms& a = session_->atoms();
    const auto active = session_->read_long(session_->root(), a.net_active_window, XA_WINDOW);
    if (!active || *active == 0) return false;
    const auto w = static_cast<Window>(*active);
    refresh_own();
    if (is_own(w)) return fullscreen_decision(nullptr, true, monitors_);
    const WmClient info = cache_.client(*this, static_cast<std::int64_t>(w));
    refresh_monitors();
    return fullscreen_decision(&info, false, monitors_);
  }


  void drain_events() override {
    drain();
    // Key presses made while quiet are not typing to join once the crew is back.
    key_presses_ = 0;
  }

 private:
  void drain() {
    while (XPending(dpy_) > 0) {
      XEvent e;
      XNextEvent(dpy_, &e);
      handle(e);
    }
  }

  void handle(XEvent& e) {
    const X11Atoms& a = session_->atoms();
    const Window root = session_->root();
    track_override(e);
    if (e.type == GenericEvent) {
      if (e.xcookie.extension != xi_opcode_) return;
      const int kind = e.xcookie.evtype;
      if (kind == XI_RawKeyPress) ++key_presses_;
      if (kind == XI_RawMotion || kind == XI_RawButtonPress || kind == XI_RawButtonRelease)
        pointer_moved_ = true;
      input_since_idle_ = true;
      return;
    }
    if (session_->has_randr() && e.type == session_->randr_event_base() + RRScreenChangeNotify) {
      XRRUpdateConfiguration(&e);
      monitors_dirty_ = struts_dirty_ = true;
      return;
    }
    switch (e.type) {
      case PropertyNotify: {
        const Atom p = e.xproperty.atom;
        if (e.xproperty.window == root) {
          if (p == a.net_client_list_stacking || p == a.net_current_desktop) cache_.root_changed();
          if (p == a.net_workarea) struts_dirty_ = true;
          return;
        }
        const auto w = static_cast<std::int64_t>(e.xproperty.window);
        if (p == a.net_wm_strut || p == a.net_wm_strut_partial) struts_dirty_ = true;
        const bool extents = p == a.net_frame_extents || p == extra_.gtk_frame_extents;
        if (extents || p == a.net_wm_state || p == a.net_wm_desktop || p == a.net_wm_name ||
            p == XA_WM_NAME || p == a.net_wm_window_type)
          (void)cache_.changed(w, WmStale::properties);
        if (extents) (void)cache_.changed(w, WmStale::geometry);
        return;
      }
      case ConfigureNotify:
        if (e.xconfigure.window == root) {
          monitors_dirty_ = struts_dirty_ = true;
          return;
        }
        mark_geometry(e.xconfigure.window);
        return;
      case MapNotify: mark_geometry(e.xmap.window); return;
      case UnmapNotify: mark_geometry(e.xunmap.window); return;
      case ReparentNotify: mark_geometry(e.xreparent.window); return;
      case DestroyNotify:
        if (is_own(e.xdestroywindow.window)) own_dirty_ = true;
        cache_.destroyed(static_cast<std::int64_t>(e.xdestroywindow.window));
        return;
      default: return;
    }
  }

  // A screen saver or locker holds the screen: the server's own saver is on, or another
  // program's override-redirect window (no window manager's frame) covers a whole monitor
  // above the overlay. Lockers map such a window; buddies and bubbles must not show over it.
  // One below the overlay is a backdrop (an animated wallpaper), not a locker.
  bool screen_taken() {
    if (idle_info_ != nullptr && XScreenSaverQueryInfo(dpy_, session_->root(), idle_info_) != 0 &&
        idle_info_->state == ScreenSaverOn)
      return true;
    if (overrides_.empty()) return false;
    refresh_own();
    refresh_monitors();
    for (Window w : overrides_) {
      XWindowAttributes attr;
      if (is_own(w) || XGetWindowAttributes(dpy_, w, &attr) == 0 || attr.map_state != IsViewable)
        continue;
      const ScreenRect r{static_cast<double>(attr.x), static_cast<double>(attr.y),
                         static_cast<double>(attr.x) + attr.width,
                         static_cast<double>(attr.y) + attr.height};
      if (covers_a_monitor(r, monitors_) && above_overlay(w)) return true;
    }
    return false;
  }

  bool above_overlay(Window w) {
    const auto overlay = static_cast<Window>(shell_.native_window(ShellWindow::overlay));
    Window r = None, parent = None, *children = nullptr;
    unsigned n = 0;
    if (overlay == None || XQueryTree(dpy_, session_->root(), &r, &parent, &children, &n) == 0)
      return true;
    // A window missing from the stacking list is not above us: the compositor's overlay window
    // (mapped when a compositor starts, full-screen, override-redirect) is never listed, and
    // taking it for a screen locker silenced the crew for as long as the compositor ran.
    bool overlay_seen = false, above = false;
    for (unsigned i = 0; i < n; ++i) {  // bottom to top
      if (children[i] == overlay) overlay_seen = true;
      if (children[i] == w) {
        above = overlay_seen;
        break;
      }
    }
    if (children != nullptr) XFree(children);
    return above;
  }

  // Override-redirect children of the root mapped before this connection listened.
  void learn_overrides() {
    Window r = None, parent = None, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(dpy_, session_->root(), &r, &parent, &children, &n) == 0) return;
    for (unsigned i = 0; i < n && overrides_.size() < kMostOverrides; ++i) {
      XWindowAttributes attr;
      if (XGetWindowAttributes(dpy_, children[i], &attr) != 0 && attr.map_state == IsViewable &&
          attr.override_redirect && !session_->holds_client(children[i]))
        overrides_.push_back(children[i]);
    }
    if (children != nullptr) XFree(children);
  }

  void track_override(const XEvent& e) {
    const Window root = session_->root();
    Window gone = None;
    switch (e.type) {
      case MapNotify:
        if (e.xmap.event == root && e.xmap.override_redirect &&
            overrides_.size() < kMostOverrides && !session_->holds_client(e.xmap.window) &&
            std::find(overrides_.begin(), overrides_.end(), e.xmap.window) == overrides_.end())
          overrides_.push_back(e.xmap.window);
        return;
      case UnmapNotify:
        if (e.xunmap.event == root) gone = e.xunmap.window;
        break;
      case DestroyNotify:
        if (e.xdestroywindow.event == root) gone = e.xdestroywindow.window;
        break;
      case ReparentNotify:
        if (e.xreparent.event == root && e.xreparent.parent != root) gone = e.xreparent.window;
        break;
      default: return;
    }
    if (gone != None) std::erase(overrides_, gone);
  }

  void mark_geometry(Window w) {
    if (is_own(w)) own_dirty_ = true;
    (void)cache_.changed(static_cast<std::int64_t>(w), WmStale::geometry);
  }

  void refresh_monitors() {
    if (!monitors_dirty_) return;
    monitors_ = session_->monitors();
    screen_ = session_->screen_rect();
    XWindowAttributes attr;
    if (XGetWindowAttributes(dpy_, session_->root(), &attr) != 0) {
      root_width_ = attr.width;
      root_height_ = attr.height;
    } else {
      root_width_ = screen_.right;
      root_height_ = screen_.bottom;
    }
    monitors_dirty_ = false;
  }

  // WmSource: what the cache asks of the server.
  std::vector<std::int64_t> stacking() override {
    std::vector<std::int64_t> out;
    for (long v : session_->read_longs(session_->root(), session_->atoms().net_client_list_stacking,
                                       XA_WINDOW, kMaxClients))
      out.push_back(static_cast<std::int64_t>(static_cast<Window>(v)));
    return out;
  }
  std::optional<long> current_desktop() override {
    return session_->read_long(session_->root(), session_->atoms().net_current_desktop,
                               XA_CARDINAL);
  }
  // Follow the window: its properties, and its own moves and mapping.
  void follow(std::int64_t window) override {
    XSelectInput(dpy_, static_cast<Window>(window), PropertyChangeMask | StructureNotifyMask);
  }

  void read_properties(std::int64_t window, WmClient& info) override {
    const X11Atoms& a = session_->atoms();
    const auto w = static_cast<Window>(window);
    info.type = WmType::normal;
    for (long t : session_->read_longs(w, a.net_wm_window_type, XA_ATOM, kMaxAtoms)) {
      const auto atom = static_cast<Atom>(t);
      if (atom == a.net_wm_window_type_dock) {
        info.type = WmType::dock;
      } else if (atom == a.net_wm_window_type_desktop) {
        info.type = WmType::desktop;
      } else if (atom == a.net_wm_window_type_utility || atom == a.net_wm_window_type_toolbar ||
                 atom == a.net_wm_window_type_menu || atom == a.net_wm_window_type_splash ||
                 atom == a.net_wm_window_type_notification ||
                 atom == a.net_wm_window_type_dropdown_menu ||
                 atom == a.net_wm_window_type_popup_menu ||
                 atom == a.net_wm_window_type_tooltip) {
        info.type = WmType::tool;
      } else if (atom == a.net_wm_window_type_normal || atom == a.net_wm_window_type_dialog) {
        info.type = WmType::normal;
      } else {
        continue;  // unknown types: the list is in order of preference
      }
      break;
    }
    info.hidden = info.fullscreen = false;
    bool vert = false, horz = false;
    for (long s : session_->read_longs(w, a.net_wm_state, XA_ATOM, kMaxAtoms)) {
      const auto atom = static_cast<Atom>(s);
      if (atom == a.net_wm_state_hidden) info.hidden = true;
      if (atom == a.net_wm_state_fullscreen) info.fullscreen = true;
      if (atom == extra_.maximized_vert) vert = true;
      if (atom == extra_.maximized_horz) horz = true;
    }
    info.maximised = vert && horz;
    info.desktop = session_->read_long(w, a.net_wm_desktop, XA_CARDINAL);
    info.frame_extents = session_->read_longs(w, a.net_frame_extents, XA_CARDINAL, 4);
    info.gtk_frame_extents = session_->read_longs(w, extra_.gtk_frame_extents, XA_CARDINAL, 4);
    info.titled = has_text(w, a.net_wm_name) || has_text(w, XA_WM_NAME);
  }

  // Whether a text property is present and not empty; its content is never read.
  bool has_text(Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(dpy_, w, property, 0, 1, False, AnyPropertyType,
                                          &type, &format, &count, &after, &data);
    if (data != nullptr) XFree(data);
    return status == Success && type != None && (count > 0 || after > 0);
  }

  std::int64_t read_geometry(std::int64_t window, WmClient& info) override {
    const auto w = static_cast<Window>(window);
    XWindowAttributes attr;
    if (XGetWindowAttributes(dpy_, w, &attr) == 0) {
      info.mapped = false;
      return 0;
    }
    info.mapped = attr.map_state == IsViewable;
    int x = 0, y = 0;
    Window child = None;
    if (XTranslateCoordinates(dpy_, w, session_->root(), 0, 0, &x, &y, &child) == 0) return 0;
    info.client = ScreenRect{static_cast<double>(x), static_cast<double>(y),
                             static_cast<double>(x) + attr.width,
                             static_cast<double>(y) + attr.height};
    return static_cast<std::int64_t>(top_level(w));
  }

  // The child of the root that holds `w` (the window manager's frame, or `w` itself).
  Window top_level(Window w) {
    const Window root = session_->root();
    for (int depth = 0; depth < 16 && w != None; ++depth) {
      Window r = None, parent = None, *children = nullptr;
      unsigned int n = 0;
      if (XQueryTree(dpy_, w, &r, &parent, &children, &n) == 0) return None;
      if (children != nullptr) XFree(children);
      if (parent == root || parent == None) return w;
      w = parent;
    }
    return w;
  }

  // Our own windows' places are asked of the server only after the root's substructure events
  // say one of them was mapped, moved, unmapped or destroyed (call after drain()).
  void refresh_own() {
    std::vector<std::int64_t> ids;
    for (ShellWindow which : kOwnWindows)
      if (const auto id = static_cast<Window>(shell_.native_window(which)); id != None)
        ids.push_back(static_cast<std::int64_t>(id));
    if (!own_dirty_ && ids == own_ids_) return;
    own_dirty_ = false;
    own_ids_ = std::move(ids);
    own_rects_.clear();
    for (ShellWindow which : kOwnWindows) {
      const auto id = static_cast<Window>(shell_.native_window(which));
      // The overlay lets every click through, so it covers nothing.
      if (id == None || which == ShellWindow::overlay) continue;
      XWindowAttributes attr;
      if (XGetWindowAttributes(dpy_, id, &attr) == 0 || attr.map_state != IsViewable) continue;
      own_rects_.push_back(ScreenRect{static_cast<double>(attr.x), static_cast<double>(attr.y),
                                      static_cast<double>(attr.x) + attr.width,
                                      static_cast<double>(attr.y) + attr.height});
    }
  }

  bool raw_events() const { return xi_opcode_ >= 0; }

  bool is_own(Window w) const {
    return std::find(own_ids_.begin(), own_ids_.end(), static_cast<std::int64_t>(w)) !=
           own_ids_.end();
  }

  void query_pointer() {
    const double now = seconds_now();
    const double age = now - pointer_read_at_;
    if (age < kPointerReuse) return;
    drain();
    if (raw_events() && !pointer_moved_ && age < kPointerTrust) return;
    pointer_read_at_ = now;
    // Cleared before the query: motion the server handles after it comes in as a new event.
    pointer_moved_ = false;
    Window root_ret = None, child = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    if (XQueryPointer(dpy_, session_->root(), &root_ret, &child, &rx, &ry, &wx, &wy, &mask) ==
        0) {
      pointer_ = {};
      buttons_ = {};
      return;
    }
    pointer_ = {static_cast<double>(rx), static_cast<double>(ry)};
    buttons_ = {(mask & Button1Mask) != 0, (mask & Button3Mask) != 0};
  }

  std::unique_ptr<X11Session> session_;
  Display* dpy_;
  Shell& shell_;
  ExtraAtoms extra_;
  int xi_opcode_ = -1;
  bool has_idle_ = false;
  XScreenSaverInfo* idle_info_ = nullptr;
  double idle_ = 0.0;
  double idle_read_at_ = -1.0;
  unsigned long key_presses_ = 0;

  bool monitors_dirty_ = true;
  bool struts_dirty_ = true;
  std::vector<ScreenRect> monitors_;
  ScreenRect screen_;
  double root_width_ = 0.0, root_height_ = 0.0;
  std::vector<ScreenRect> work_;
  WmCache cache_;
  std::vector<std::int64_t> own_ids_;
  std::vector<ScreenRect> own_rects_;
  bool own_dirty_ = true;
  static constexpr std::array kOwnWindows = {ShellWindow::overlay, ShellWindow::grab,
                                             ShellWindow::menu, ShellWindow::selection};

  // Other programs' mapped override-redirect windows (menus, tooltips, lockers).
  static constexpr std::size_t kMostOverrides = 256;
  std::vector<Window> overrides_;

  CursorPos pointer_;
  PointerButtons buttons_;
  double pointer_read_at_ = -1.0;
  bool pointer_moved_ = true;
  bool input_since_idle_ = true;
};

}  // namespace

Result<std::unique_ptr<Desktop>> make_x11_desktop(const std::string& display_name, Shell& shell) {
  auto session = X11Session::open(display_name.c_str());
  if (!session.ok()) return Status::fail(session.error);
  std::unique_ptr<Desktop> desktop =
      std::make_unique<X11Desktop>(std::move(*session.value), shell);
  return Result<std::unique_ptr<Desktop>>::success(std::move(desktop));
}

}  // namespace perchkin
