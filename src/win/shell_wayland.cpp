#include "win/shell_wayland.h"

#include "win/shell_x11.h"  // key_code: xkb's keysyms are X11's

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace perchkin {

namespace {

constexpr std::uint32_t kLeft = 0x110, kRight = 0x111, kMiddle = 0x112;
constexpr std::int32_t kWheelDelta = 120;  // one notch, as Windows counts it

bool inside(const PixelRect& r, double x, double y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

class WaylandShell final : public Shell {
 public:
  explicit WaylandShell(std::shared_ptr<WaylandSession> session) : s_(std::move(session)) {
    // As the input windows show on X11: a hand on the buddies, an arrow on the menu, a
    // crosshair while selecting.
    s_->cursor_shape = [this](double x, double y) {
      if (up(ShellWindow::selection)) return wlp::kCursorCrosshair;
      if (up(ShellWindow::menu) && inside(rect(ShellWindow::menu), x, y)) return wlp::kCursorDefault;
      return s_->left_held ? wlp::kCursorGrabbing : wlp::kCursorPointer;
    };
  }
  ~WaylandShell() override { s_->cursor_shape = nullptr; }

  Status create_windows(const ScreenRect&, double) override {
    s_->show_overlay(true);
    if (!s_->roundtrip()) return Status::fail("the Wayland display closed the connection");
    return Status::success();
  }

  void pump(EventRecords& records) override {
    if (!s_->dispatch() && !gone_) {
      gone_ = true;
      std::fprintf(stderr, "perchkin: the Wayland display is gone (%s); ending\n",
                   s_->why_gone().c_str());
      records.quit = true;
    }
    if (s_->outputs_changed) {
      s_->outputs_changed = false;
      records.display_changed = true;
    }
    for (const WaylandPointerEvent& e : s_->pointer_events) route(e, records);
    s_->pointer_events.clear();
    for (const WaylandKeyEvent& k : s_->key_events) route(k, records);
    s_->key_events.clear();
  }

  void show(ShellWindow window, bool shown) override {
    if (window == ShellWindow::overlay) {
      s_->show_overlay(shown);
      return;
    }
    shown_[index(window)] = shown;
    update_input();
  }

  void place(ShellWindow window, const PixelRect& rect) override {
    if (window == ShellWindow::overlay) {
      s_->show_overlay(true);
      return;
    }
    rects_[index(window)] = rect;
    shown_[index(window)] = true;
    update_input();
  }

  void set_menu_shape(const MenuShape&) override {}
  void take_focus(ShellWindow) override { s_->set_keyboard(true); }
  void restore_focus() override { s_->set_keyboard(false); }
  void add_tray_icon() override {}
  void remove_tray_icon() override {}
  void register_hotkeys() override {
    std::fprintf(stderr,
                 "perchkin: Wayland gives programs no global keys; the hotkeys rest on this "
                 "desktop\n");
  }
  std::uintptr_t native_window(ShellWindow) override { return 0; }
  bool wants_pointer_boxes() const override { return true; }
  void set_pointer_boxes(std::span<const PixelRect> boxes) override {
    if (std::equal(boxes.begin(), boxes.end(), boxes_.begin(), boxes_.end())) return;
    boxes_.assign(boxes.begin(), boxes.end());
    update_input();
  }

 private:
  static int index(ShellWindow w) { return static_cast<int>(w); }
  bool up(ShellWindow w) const { return shown_[index(w)]; }
  const PixelRect& rect(ShellWindow w) const { return rects_[index(w)]; }

  void update_input() {
    std::vector<PixelRect> input = boxes_;
    for (ShellWindow w : {ShellWindow::grab, ShellWindow::menu, ShellWindow::selection})
      if (up(w)) input.push_back(rect(w));
    s_->set_input(input);
  }

  // A press goes where an input window would have taken it on the other desktops: the
  // selection while it is up, the menu over its rectangle, else the buddies.
  void route(const WaylandPointerEvent& e, EventRecords& records) {
    using Kind = WaylandPointerEvent::Kind;
    const std::int32_t wheel = e.notches * kWheelDelta;
    if (up(ShellWindow::selection)) {
      if (e.kind != Kind::button) return;
      if (e.button == kLeft) records.selection.push_back({e.pressed ? kSelectLeftDown : kSelectLeftUp, 0});
      else if (e.button == kRight && e.pressed) records.selection.push_back({kSelectCancel, 0});
      return;
    }
    if (up(ShellWindow::menu) && (inside(rect(ShellWindow::menu), e.x, e.y) || menu_press_)) {
      if (e.kind == Kind::wheel) {
        records.menu.push_back({kMenuWheel, wheel});
        return;
      }
      menu_press_ = e.pressed;
      if (e.button == kLeft && e.pressed) records.menu.push_back({kMenuLeftDown, 0});
      else if (e.button == kRight) records.menu.push_back({e.pressed ? kMenuRightDown : kMenuRightUp, 0});
      else if (e.button == kMiddle && e.pressed) records.menu.push_back({kMenuMiddleDown, 0});
      return;
    }
    if (e.kind == Kind::wheel) {
      records.grab.push_back({kGrabWheel, wheel});
      return;
    }
    if (e.button == kLeft && e.pressed) {
      records.grab.push_back({double_click(e) ? kGrabDoubleClick : kGrabLeftDown, 0});
    } else if (e.button == kLeft) {
      records.grab.push_back({kGrabLeftUp, 0});
    } else if (e.button == kRight && e.pressed) {
      records.grab.push_back({kGrabRightDown, 0});
    }
  }

  void route(const WaylandKeyEvent& k, EventRecords& records) {
    constexpr std::uint32_t kEscape = 0xff1b;
    if (up(ShellWindow::selection)) {
      if (k.keysym == kEscape) records.selection.push_back({kSelectCancel, 0});
    } else if (up(ShellWindow::menu)) {
      const std::int32_t code = key_code(k.keysym);
      if (code != 0) records.menu.push_back({kMenuKey, code | (k.shift ? kMenuKeyShift : 0)});
    }
  }

  // Two left presses within half a second and a few pixels; a third starts over.
  bool double_click(const WaylandPointerEvent& e) {
    const bool twice = armed_ && e.time - last_time_ <= 500 && std::abs(e.x - last_x_) <= 4 &&
                       std::abs(e.y - last_y_) <= 4;
    armed_ = !twice;
    last_time_ = e.time;
    last_x_ = e.x;
    last_y_ = e.y;
    return twice;
  }

  std::shared_ptr<WaylandSession> s_;
  bool shown_[4] = {true, false, false, false};
  PixelRect rects_[4] = {};
  std::vector<PixelRect> boxes_;
  bool gone_ = false;
  bool menu_press_ = false;
  bool armed_ = false;
  std::uint32_t last_time_ = 0;
  double last_x_ = 0.0, last_y_ = 0.0;
};

class WaylandDesktop final : public Desktop {
 public:
  explicit WaylandDesktop(std::shared_ptr<WaylandSession> session) : s_(std::move(session)) {}
  ScreenRect screen() override { return s_->screen(); }
  double display_scale() override { return s_->scale(); }
  std::vector<ScreenRect> work_areas() override { return s_->output_rects(); }
  std::vector<DesktopWindow> windows() override { return {}; }
  PointOwner window_at(double, double) override { return {s_->pointer_inside, 0}; }
  CursorPos cursor() override { return {s_->pointer_x, s_->pointer_y}; }
  PointerButtons buttons() override { return {s_->left_held, s_->right_held}; }
  double idle_seconds() override { return s_->idle_seconds(); }
  bool key_pressed_since_last_probe() override { return false; }
  bool fullscreen_in_front() override { return false; }
  // While the crew is quiet nothing is under the pointer to act on: presses and keys go.
  void drain_events() override {
    s_->dispatch();
    s_->pointer_events.clear();
    s_->key_events.clear();
  }

 private:
  std::shared_ptr<WaylandSession> s_;
};

}  // namespace

std::unique_ptr<Shell> make_wayland_shell(std::shared_ptr<WaylandSession> session) {
  return std::make_unique<WaylandShell>(std::move(session));
}

std::unique_ptr<Desktop> make_wayland_desktop(std::shared_ptr<WaylandSession> session) {
  return std::make_unique<WaylandDesktop>(std::move(session));
}

}  // namespace perchkin
