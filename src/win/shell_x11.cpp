// The overlay draws and passes every click through (an empty input shape); the input windows are
// InputOnly, so they take the pointer without drawing. Override-redirect keeps the window
// manager out of all four: it would frame, focus or restack them otherwise. In exchange the
// overlay must raise itself again whenever other windows restack.
#include "win/shell_x11.h"

#include "win/hotkeys_x11.h"
#include "win/tray_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

namespace perchkin {

bool ClickTracker::press(unsigned button, unsigned long time_ms, int x, int y) {
  const bool twice = armed && button == last_button && time_ms - last_time <= kDoubleClickMs &&
                     std::abs(x - last_x) <= kSlopPixels && std::abs(y - last_y) <= kSlopPixels;
  armed = !twice;
  last_button = button;
  last_time = time_ms;
  last_x = x;
  last_y = y;
  return twice;
}

std::int32_t key_code(unsigned long keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return static_cast<std::int32_t>('A' + (keysym - XK_a));
  if (keysym >= XK_A && keysym <= XK_Z) return static_cast<std::int32_t>('A' + (keysym - XK_A));
  if (keysym >= XK_0 && keysym <= XK_9) return static_cast<std::int32_t>('0' + (keysym - XK_0));
  switch (keysym) {
    case XK_Escape: return kKeyEscape;
    case XK_Return:
    case XK_KP_Enter: return kKeyEnter;
    case XK_space: return kKeySpace;
    case XK_Tab:
    case XK_ISO_Left_Tab: return kKeyTab;
    case XK_BackSpace: return kKeyBack;
    case XK_Delete: return kKeyDelete;
    case XK_Left:
    case XK_KP_Left: return kKeyLeft;
    case XK_Up:
    case XK_KP_Up: return kKeyUp;
    case XK_Right:
    case XK_KP_Right: return kKeyRight;
    case XK_Down:
    case XK_KP_Down: return kKeyDown;
    case XK_Prior: return kKeyPageUp;
    case XK_Next: return kKeyPageDown;
    case XK_End: return kKeyEnd;
    case XK_Home: return kKeyHome;
    default: return 0;
  }
}

bool compositor_running(const X11Session& session) {
  Display* d = session.display();
  const std::string name = "_NET_WM_CM_S" + std::to_string(session.screen_number());
  const Atom selection = XInternAtom(d, name.c_str(), False);
  return selection != None && XGetSelectionOwner(d, selection) != None;
}

namespace {

constexpr long kWheelDelta = 120;  // one notch, as Windows counts it

int index_of(ShellWindow w) { return static_cast<int>(w); }

// The 32-bit TrueColor visual with an alpha channel, which a compositor blends per pixel.
Visual* find_argb_visual(Display* d, int screen) {
  XVisualInfo wanted{};
  wanted.screen = screen;
  wanted.depth = 32;
  wanted.c_class = TrueColor;
  int count = 0;
  XVisualInfo* infos =
      XGetVisualInfo(d, VisualScreenMask | VisualDepthMask | VisualClassMask, &wanted, &count);
  Visual* found = nullptr;
  for (int i = 0; i < count && found == nullptr; ++i) {
    XRenderPictFormat* format = XRenderFindVisualFormat(d, infos[i].visual);
    if (format != nullptr && format->type == PictTypeDirect && format->direct.alphaMask != 0)
      found = infos[i].visual;
  }
  if (infos != nullptr) XFree(infos);
  return found;
}

// Horizontal spans of an ellipse or rounded rectangle inside w x h, one per row.
std::vector<XRectangle> shape_rows(const MenuShape& shape, int w, int h) {
  std::vector<XRectangle> rows;
  if (w <= 0 || h <= 0) return rows;
  rows.reserve(static_cast<std::size_t>(h));
  const double rx = w / 2.0, ry = h / 2.0;
  const double corner = std::clamp(static_cast<double>(shape.corner), 0.0, std::min(rx, ry));
  for (int y = 0; y < h; ++y) {
    const double cy = y + 0.5;
    double inset = 0.0;
    if (shape.ellipse) {
      const double t = (cy - ry) / ry;
      const double half = rx * std::sqrt(std::max(0.0, 1.0 - t * t));
      inset = rx - half;
    } else if (corner > 0.0) {
      const double dy = std::max({0.0, corner - cy, cy - (h - corner)});
      inset = corner - std::sqrt(std::max(0.0, corner * corner - dy * dy));
    }
    const int left = static_cast<int>(std::lround(inset));
    const int right = w - left;
    if (right <= left) continue;
    rows.push_back({static_cast<short>(left), static_cast<short>(y),
                    static_cast<unsigned short>(right - left), 1});
  }
  return rows;
}

class X11Shell final : public Shell {
 public:
  explicit X11Shell(std::shared_ptr<X11Session> session) : session_(std::move(session)) {}

  ~X11Shell() override {
    tray_.reset();
    hotkeys_.reset();
    Display* d = session_->display();
    for (Window w : windows_)
      if (w != None) XDestroyWindow(d, w);
    if (colormap_ != None) XFreeColormap(d, colormap_);
    for (Cursor c : cursors_)
      if (c != None) XFreeCursor(d, c);
    XFlush(d);
  }

  Status create_windows(const ScreenRect& screen, double scale) override {
    Display* d = session_->display();
    if (!session_->has_xfixes())
      return Status::fail("the X server lacks the XFixes extension the click-through overlay needs");
    Visual* visual = find_argb_visual(d, session_->screen_number());
    if (visual == nullptr) return Status::fail("the X server offers no 32-bit ARGB visual");
    scale_ = scale;
    const Window root = session_->root();
    colormap_ = XCreateColormap(d, root, visual, AllocNone);

    const PixelRect area = to_pixels(screen);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.colormap = colormap_;
    attrs.background_pixel = 0;  // transparent until the first frame
    attrs.border_pixel = 0;
    attrs.event_mask = StructureNotifyMask | ExposureMask;
    windows_[0] = XCreateWindow(d, root, area.left, area.top, width_of(area), height_of(area), 0,
                                32, InputOutput, visual,
                                CWOverrideRedirect | CWColormap | CWBackPixel | CWBorderPixel |
                                    CWEventMask,
                                &attrs);
    if (windows_[0] == None) return Status::fail("could not create the overlay window");
    name_window(windows_[0], "Perchkin", "PerchkinOverlay");
    // No input region at all: every click falls through to what lies below.
    XserverRegion empty = XFixesCreateRegion(d, nullptr, 0);
    XFixesSetWindowShapeRegion(d, windows_[0], ShapeInput, 0, 0, empty);
    XFixesDestroyRegion(d, empty);

    cursors_[0] = XCreateFontCursor(d, XC_hand2);
    cursors_[1] = XCreateFontCursor(d, XC_left_ptr);
    cursors_[2] = XCreateFontCursor(d, XC_crosshair);
    const long pointer = ButtonPressMask | ButtonReleaseMask;
    windows_[1] = make_input_window({0, 0, 10, 10}, cursors_[0], pointer, "Perchkin grab",
                                    "PerchkinGrab");
    const int s = static_cast<int>(std::lround(412.0 * scale));
    windows_[2] = make_input_window({0, 0, std::max(1, s), std::max(1, s)}, cursors_[1],
                                    pointer | KeyPressMask | FocusChangeMask, "Perchkin menu",
                                    "PerchkinMenu");
    windows_[3] = make_input_window(area, cursors_[2], pointer | KeyPressMask | FocusChangeMask,
                                    "Perchkin select", "PerchkinSelect");
    for (Window w : windows_)
      if (w == None) return Status::fail("could not create the input windows");
    sizes_[2] = {0, 0, std::max(1, s), std::max(1, s)};

    // Restacking and screen changes arrive on the root window.
    XSelectInput(d, root, SubstructureNotifyMask | PropertyChangeMask);
    if (session_->has_randr()) XRRSelectInput(d, root, RRScreenChangeNotifyMask);

    learn_mapped_children();
    XMapWindow(d, windows_[0]);
    mapped_[0] = true;
    raise_ours();
    XFlush(d);
    return Status::success();
  }

  void pump(EventRecords& records) override {
    Display* d = session_->display();
    bool restack = false, regrab = false;
    while (XPending(d) > 0) {
      XEvent ev;
      XNextEvent(d, &ev);
      session_->note_event(ev);
      track_child(ev);
      if (ev.type == MappingNotify) {
        // Another keyboard or layout: the hotkeys' letters may sit on other keycodes now.
        XRefreshKeyboardMapping(&ev.xmapping);
        regrab = regrab || ev.xmapping.request != MappingPointer;
        continue;
      }
      if (tray_x11_handle_event(tray_.get(), ev, records)) continue;
      if (hotkeys_x11_handle_event(hotkeys_.get(), ev, records)) continue;
      if (session_->has_randr() &&
          ev.type == session_->randr_event_base() + RRScreenChangeNotify) {
        XRRUpdateConfiguration(&ev);
        records.display_changed = true;
        continue;
      }
      switch (ev.type) {
        case ConfigureNotify:
          // Another window moved in the stacking order (ours are ignored, or raising would
          // answer itself).
          if (ev.xconfigure.event == session_->root() && !ours(ev.xconfigure.window))
            restack = true;
          break;
        case MapNotify:
          if (ev.xmap.event == session_->root() && !ours(ev.xmap.window)) restack = true;
          break;
        case PropertyNotify:
          if (ev.xproperty.window == session_->root() &&
              (ev.xproperty.atom == session_->atoms().net_client_list_stacking ||
               ev.xproperty.atom == session_->atoms().net_active_window))
            restack = true;
          break;
        case ClientMessage:
          if (ev.xclient.window == windows_[0] &&
              static_cast<Atom>(ev.xclient.data.l[0]) == session_->atoms().wm_delete_window)
            records.quit = true;
          break;
        case ButtonPress:
        case ButtonRelease:
          on_button(ev.xbutton, records);
          break;
        case KeyPress:
          on_key(ev.xkey, records);
          break;
        case FocusIn:
        case FocusOut:
          on_focus(ev.xfocus, records);
          break;
        default:
          break;
      }
    }
    if (restack) raise_ours();
    if (regrab && hotkeys_wanted_) {
      hotkeys_.reset();
      hotkeys_ = hotkeys_x11_register(*session_, false);
    }
  }

  void show(ShellWindow window, bool shown) override {
    const int i = index_of(window);
    Window w = windows_[i];
    if (w == None) return;
    Display* d = session_->display();
    mapped_[i] = shown;
    if (shown) {
      XMapWindow(d, w);
      raise_ours();
    } else {
      XUnmapWindow(d, w);
    }
    XFlush(d);
  }

  void place(ShellWindow window, const PixelRect& rect) override {
    const int i = index_of(window);
    Window w = windows_[i];
    if (w == None) return;
    Display* d = session_->display();
    const PixelRect r{rect.left, rect.top, std::max(rect.right, rect.left + 1),
                      std::max(rect.bottom, rect.top + 1)};
    XMoveResizeWindow(d, w, r.left, r.top, width_of(r), height_of(r));
    const bool resized = width_of(r) != width_of(sizes_[i]) || height_of(r) != height_of(sizes_[i]);
    sizes_[i] = r;
    if (window == ShellWindow::menu && resized) apply_menu_shape();
    XMapWindow(d, w);
    mapped_[i] = true;
    raise_ours();
  }

  void set_menu_shape(const MenuShape& shape) override {
    menu_shape_ = shape;
    apply_menu_shape();
  }

  void take_focus(ShellWindow window) override {
    Window w = windows_[index_of(window)];
    if (w == None) return;
    Display* d = session_->display();
    Window current = None;
    int revert = 0;
    XGetInputFocus(d, &current, &revert);
    if (!ours(current)) previous_focus_ = current;
    XMapWindow(d, w);
    mapped_[index_of(window)] = true;
    raise_ours();
    // The window may not be viewable yet; a failed focus change is harmless.
    session_->without_errors([&] { XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime); });
  }

  void restore_focus() override {
    if (previous_focus_ == None) return;
    Display* d = session_->display();
    const Window target = previous_focus_;
    previous_focus_ = None;
    session_->without_errors([&] { XSetInputFocus(d, target, RevertToPointerRoot, CurrentTime); });
  }

  void add_tray_icon() override {
    if (!tray_) tray_ = tray_x11_add(*session_, scale_);
  }
  void remove_tray_icon() override { tray_.reset(); }
  void register_hotkeys() override {
    hotkeys_wanted_ = true;
    if (!hotkeys_) hotkeys_ = hotkeys_x11_register(*session_);
  }

  std::uintptr_t native_window(ShellWindow window) override {
    return static_cast<std::uintptr_t>(windows_[index_of(window)]);
  }
  void set_last_words(std::function<void()> last_words) override {
    set_x11_last_words(std::move(last_words));
  }

 private:
  static PixelRect to_pixels(const ScreenRect& s) {
    const auto i = [](double v) {
      return static_cast<std::int32_t>(std::clamp(std::floor(v), -32768.0, 32767.0));
    };
    PixelRect r{i(s.left), i(s.top), i(s.right), i(s.bottom)};
    r.right = std::max(r.right, r.left + 1);
    r.bottom = std::max(r.bottom, r.top + 1);
    return r;
  }
  static unsigned width_of(const PixelRect& r) {
    return static_cast<unsigned>(std::max(1, r.right - r.left));
  }
  static unsigned height_of(const PixelRect& r) {
    return static_cast<unsigned>(std::max(1, r.bottom - r.top));
  }

  bool ours(Window w) const {
    return w != None && std::find(std::begin(windows_), std::end(windows_), w) != std::end(windows_);
  }

  void name_window(Window w, const char* title, const char* klass) {
    Display* d = session_->display();
    XStoreName(d, w, title);
    XClassHint hint{};
    hint.res_name = const_cast<char*>("perchkin");
    hint.res_class = const_cast<char*>(klass);
    XSetClassHint(d, w, &hint);
    const std::string utf8 = title;
    XChangeProperty(d, w, session_->atoms().net_wm_name, session_->atoms().utf8_string, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
    Atom protocols[1] = {session_->atoms().wm_delete_window};
    XSetWMProtocols(d, w, protocols, 1);
  }

  Window make_input_window(const PixelRect& r, Cursor cursor, long events, const char* title,
                           const char* klass) {
    Display* d = session_->display();
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.cursor = cursor;
    attrs.event_mask = events;
    Window w = XCreateWindow(d, session_->root(), r.left, r.top, width_of(r), height_of(r), 0, 0,
                             InputOnly, CopyFromParent, CWOverrideRedirect | CWCursor | CWEventMask,
                             &attrs);
    if (w != None) name_window(w, title, klass);
    return w;
  }

  // The overlay above every other window, and the shown input windows above the overlay; but
  // below the override-redirect windows other programs keep on top of everything (menus,
  // tooltips, a screen locker, whose screen nothing may show through).
  void raise_ours() {
    Display* d = session_->display();
    const Window ceiling = lowest_kept_on_top();
    for (int i = 0; i < 4; ++i) {
      if (!mapped_[i] || windows_[i] == None) continue;
      if (ceiling == None) {
        XRaiseWindow(d, windows_[i]);
        continue;
      }
      XWindowChanges change{};
      change.sibling = ceiling;
      change.stack_mode = Below;
      XConfigureWindow(d, windows_[i], CWSibling | CWStackMode, &change);
    }
    XFlush(d);
  }

  // Whether a mapped child of the root stays above the windows the window manager stacks:
  // override-redirect and not one of the window manager's own frames.
  bool kept_on_top(Window w, bool override_redirect) const {
    return override_redirect && !session_->holds_client(w);
  }

  // The children of the root mapped before the windows were made.
  void learn_mapped_children() {
    Display* d = session_->display();
    Window r = None, parent = None, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(d, session_->root(), &r, &parent, &children, &n) == 0) return;
    for (unsigned i = 0; i < n && mapped_children_.size() < kMostChildren; ++i) {
      XWindowAttributes a{};
      if (ours(children[i]) || XGetWindowAttributes(d, children[i], &a) == 0 ||
          a.map_state != IsViewable)
        continue;
      mapped_children_[children[i]] = kept_on_top(children[i], a.override_redirect != 0);
    }
    if (children != nullptr) XFree(children);
  }

  void track_child(const XEvent& ev) {
    const Window root = session_->root();
    switch (ev.type) {
      case MapNotify:
        if (ev.xmap.event == root && !ours(ev.xmap.window) &&
            mapped_children_.size() < kMostChildren)
          mapped_children_[ev.xmap.window] =
              kept_on_top(ev.xmap.window, ev.xmap.override_redirect != 0);
        break;
      case UnmapNotify:
        if (ev.xunmap.event == root) mapped_children_.erase(ev.xunmap.window);
        break;
      case DestroyNotify:
        if (ev.xdestroywindow.event == root) mapped_children_.erase(ev.xdestroywindow.window);
        break;
      case ReparentNotify:
        if (ev.xreparent.event == root && ev.xreparent.parent != root)
          mapped_children_.erase(ev.xreparent.window);
        break;
      default:
        break;
    }
  }

  // The lowest of the windows kept on top above every window the window manager stacks; None
  // when there is none, and the overlay may go to the very top.
  Window lowest_kept_on_top() {
    const bool any = std::any_of(mapped_children_.begin(), mapped_children_.end(),
                                 [](const auto& child) { return child.second; });
    if (!any) return None;
    Display* d = session_->display();
    Window r = None, parent = None, *children = nullptr;
    unsigned n = 0;
    if (XQueryTree(d, session_->root(), &r, &parent, &children, &n) == 0) return None;
    Window lowest = None;
    for (unsigned i = 0; i < n; ++i) {  // bottom to top
      const auto child = mapped_children_.find(children[i]);
      if (child == mapped_children_.end()) continue;
      if (!child->second) lowest = None;
      else if (lowest == None) lowest = children[i];
    }
    if (children != nullptr) XFree(children);
    return lowest;
  }

  void apply_menu_shape() {
    Window w = windows_[2];
    if (w == None) return;
    Display* d = session_->display();
    std::vector<XRectangle> rows =
        shape_rows(menu_shape_, static_cast<int>(width_of(sizes_[2])),
                   static_cast<int>(height_of(sizes_[2])));
    XserverRegion region =
        XFixesCreateRegion(d, rows.empty() ? nullptr : rows.data(), static_cast<int>(rows.size()));
    XFixesSetWindowShapeRegion(d, w, ShapeInput, 0, 0, region);
    XFixesDestroyRegion(d, region);
  }

  void on_button(const XButtonEvent& e, EventRecords& records) {
    const bool press = e.type == ButtonPress;
    const auto wheel = [&](unsigned button) -> std::int32_t {
      return button == Button4 ? static_cast<std::int32_t>(kWheelDelta)
                               : -static_cast<std::int32_t>(kWheelDelta);
    };
    if (e.window == windows_[1]) {
      if (press && e.button == Button1) {
        const bool twice = grab_clicks_.press(e.button, e.time, e.x_root, e.y_root);
        records.grab.push_back({twice ? kGrabDoubleClick : kGrabLeftDown, 0});
      } else if (!press && e.button == Button1) {
        records.grab.push_back({kGrabLeftUp, 0});
      } else if (press && e.button == Button3) {
        records.grab.push_back({kGrabRightDown, 0});
      } else if (press && (e.button == Button4 || e.button == Button5)) {
        records.grab.push_back({kGrabWheel, wheel(e.button)});
      }
    } else if (e.window == windows_[3]) {
      if (press && e.button == Button1) records.selection.push_back({kSelectLeftDown, 0});
      else if (!press && e.button == Button1) records.selection.push_back({kSelectLeftUp, 0});
      else if (press && e.button == Button3) records.selection.push_back({kSelectCancel, 0});
    } else if (e.window == windows_[2]) {
      if (press && e.button == Button1) records.menu.push_back({kMenuLeftDown, 0});
      else if (press && e.button == Button3) records.menu.push_back({kMenuRightDown, 0});
      else if (!press && e.button == Button3) records.menu.push_back({kMenuRightUp, 0});
      else if (press && e.button == Button2) records.menu.push_back({kMenuMiddleDown, 0});
      else if (press && (e.button == Button4 || e.button == Button5))
        records.menu.push_back({kMenuWheel, wheel(e.button)});
    }
  }

  void on_key(XKeyEvent& e, EventRecords& records) {
    const KeySym sym = XLookupKeysym(&e, 0);
    if (e.window == windows_[3]) {
      if (sym == XK_Escape) records.selection.push_back({kSelectCancel, 0});
    } else if (e.window == windows_[2]) {
      const std::int32_t code = key_code(sym);
      const std::int32_t shift = (e.state & ShiftMask) != 0 ? kMenuKeyShift : 0;
      if (code != 0) records.menu.push_back({kMenuKey, code | shift});
    }
  }

  void on_focus(const XFocusChangeEvent& e, EventRecords& records) {
    // Focus moving between a window's own children or through grabs is not a change of window.
    if (e.detail == NotifyInferior || e.mode == NotifyGrab || e.mode == NotifyUngrab) return;
    const bool in = e.type == FocusIn;
    if (e.window == windows_[2]) {
      records.menu.push_back({kMenuActivation, in ? 1 : 0});
    } else if (e.window == windows_[3] && !in) {
      records.selection.push_back({kSelectCancel, 0});
    }
  }

  std::shared_ptr<X11Session> session_;
  Window windows_[4] = {None, None, None, None};
  bool mapped_[4] = {false, false, false, false};
  PixelRect sizes_[4];
  Cursor cursors_[3] = {None, None, None};
  Colormap colormap_ = None;
  double scale_ = 1.0;
  MenuShape menu_shape_;
  Window previous_focus_ = None;
  ClickTracker grab_clicks_;
  TrayX11Ptr tray_;
  HotkeysX11Ptr hotkeys_;
  bool hotkeys_wanted_ = false;
  // Other programs' mapped children of the root, and whether each is kept on top.
  static constexpr std::size_t kMostChildren = 16384;
  std::unordered_map<Window, bool> mapped_children_;
};

}  // namespace

std::unique_ptr<Shell> make_x11_shell(std::shared_ptr<X11Session> session) {
  return std::make_unique<X11Shell>(std::move(session));
}

}  // namespace perchkin
