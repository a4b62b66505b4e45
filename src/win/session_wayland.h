// The one Wayland connection the desktop shares: the outputs and their logical places, the
// overlay's layer surfaces (one per output), the pointer, on the user-interface thread only.
#pragma once

#include "base/geometry.h"
#include "base/status.h"
#include "win/protocols_wayland.h"

#include <wayland-client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace perchkin {

struct WaylandOutput {
  std::uint32_t global = 0;
  wl_output* output = nullptr;
  wlp::XdgOutput* xdg = nullptr;
  std::string name;
  // Logical place and size (xdg-output), else the mode divided by the scale.
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool logical = false;
  std::int32_t mode_width = 0, mode_height = 0, scale = 1;
  // The overlay's surface on this output, while the overlay is shown.
  wl_surface* surface = nullptr;
  wlp::LayerSurface* layer = nullptr;
  std::uint32_t surface_serial = 0;  // grows with each new surface
  std::int32_t surface_width = 0, surface_height = 0;  // as last configured
  bool configured = false;
  wl_callback* frame = nullptr;  // the compositor has not yet asked for the next frame

  bool usable() const { return width > 0 && height > 0; }
  // Its place in desktop pixels: logical ones times the session's scale.
  ScreenRect rect(std::int32_t times) const {
    const double s = times;
    return {s * x, s * y, s * (static_cast<double>(x) + width), s * (static_cast<double>(y) + height)};
  }
};

// A pointer event on the overlay, desktop pixels.
struct WaylandPointerEvent {
  enum class Kind : std::uint8_t { button, wheel } kind = Kind::button;
  std::uint32_t button = 0;  // Linux input codes: 0x110 left, 0x111 right, 0x112 middle
  bool pressed = false;
  std::int32_t notches = 0;  // wheel: positive away from the user
  std::uint32_t time = 0;    // milliseconds, the compositor's clock
  double x = 0.0, y = 0.0;
};

// A key pressed while the overlay has the keyboard: its keysym (the values X11 uses too).
struct WaylandKeyEvent {
  std::uint32_t keysym = 0;
  bool shift = false;
};

class WaylandSession {
 public:
  // Connects (`name` as WAYLAND_DISPLAY, null for the default) and learns the globals and the
  // outputs. Fails without the layer shell or shared memory: then this desktop cannot be drawn.
  static Result<std::unique_ptr<WaylandSession>> open(const char* name);
  ~WaylandSession();
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;

  wl_display* display() const { return display_; }
  wl_compositor* compositor() const { return compositor_; }
  wl_shm* shm() const { return shm_; }

  std::vector<std::unique_ptr<WaylandOutput>>& outputs() { return outputs_; }
  // Desktop pixels are the outputs' logical pixels times this: the largest integer scale of
  // any output, so that on a scaled output every pixel is drawn and pixel art stays sharp.
  std::int32_t scale() const { return scale_; }
  // Every usable output's bounding box; 1280 x 720 at the origin before any is known.
  ScreenRect screen() const;
  std::vector<ScreenRect> output_rects() const;

  // Reads and handles what the compositor sent, never blocking. False once the connection is
  // gone.
  bool dispatch();
  bool roundtrip();
  bool alive() const { return alive_; }
  // Why the connection ended: the system's error, or the compositor's protocol error.
  std::string why_gone() const;

  // The overlay: one layer surface per usable output, made when shown and as outputs come.
  void show_overlay(bool shown);
  bool overlay_shown() const { return overlay_shown_; }
  // What the compositor must deliver to the overlay's pointer: these desktop rectangles.
  void set_input(const std::vector<PixelRect>& rects);
  void set_keyboard(bool wanted);
  // Asks to be told when the compositor wants the output's next frame (WaylandOutput::frame
  // stays set until then). Call before the commit it belongs to.
  void request_frame(WaylandOutput& o);

  // Set when outputs came, went or moved; the reader clears it.
  bool outputs_changed = false;
  // Pointer state over the overlay, desktop pixels.
  bool pointer_inside = false;
  double pointer_x = 0.0, pointer_y = 0.0;
  bool left_held = false, right_held = false;
  std::vector<WaylandPointerEvent> pointer_events;  // the reader empties it
  std::vector<WaylandKeyEvent> key_events;          // the reader empties it
  // The cursor's shape over the overlay at a desktop point (wlp::kCursor*), asked as the
  // pointer moves; shown where the compositor draws named shapes.
  std::function<std::uint32_t(double x, double y)> cursor_shape;
  // Seconds without input on the seat, where the compositor tells (0 where it does not).
  double idle_seconds() const;

  // Listener entry points (C callbacks land here).
  void on_global(std::uint32_t name, const char* interface, std::uint32_t version);
  void on_global_remove(std::uint32_t name);
  void on_output_changed(WaylandOutput& o);
  void on_layer_configure(WaylandOutput& o, std::uint32_t serial, std::uint32_t w,
                          std::uint32_t h);
  void on_layer_closed(WaylandOutput& o);
  void on_seat_capabilities(std::uint32_t caps);
  void on_pointer_at(wl_surface* surface, wl_fixed_t sx, wl_fixed_t sy, std::uint32_t serial);
  void on_pointer_leave() { pointer_inside = false; }
  void on_button(std::uint32_t time, std::uint32_t button, bool pressed);
  void on_axis(std::uint32_t time, std::uint32_t axis, wl_fixed_t value, bool discrete);
  void on_keymap(std::uint32_t format, int fd, std::uint32_t size);
  void on_key(std::uint32_t key, bool pressed);
  void on_modifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                    std::uint32_t group);
  void on_idle(bool idle);

 private:
  WaylandSession() = default;
  void add_output(std::uint32_t global, std::uint32_t version);
  void watch_output(WaylandOutput& o);
  void make_surface(WaylandOutput& o);
  void drop_surface(WaylandOutput& o);
  void apply_input(WaylandOutput& o);
  void watch_idle();

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  wl_keyboard* keyboard_device_ = nullptr;
  wlp::CursorShapeManager* cursor_shapes_ = nullptr;
  wlp::CursorShapeDevice* cursor_device_ = nullptr;
  std::uint32_t enter_serial_ = 0;
  std::uint32_t shape_shown_ = 0;  // 0: none set since the pointer entered
  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* xkb_state_ = nullptr;
  wlp::IdleNotifier* idle_notifier_ = nullptr;
  wlp::IdleNotification* idle_notification_ = nullptr;
  wlp::KdeIdle* kde_idle_ = nullptr;
  wlp::KdeIdleTimeout* kde_idle_timeout_ = nullptr;
  bool idle_ = false;
  double idle_since_ = 0.0;  // steady clock seconds
  wlp::LayerShell* layer_shell_ = nullptr;
  wlp::XdgOutputManager* xdg_outputs_ = nullptr;
  std::vector<std::unique_ptr<WaylandOutput>> outputs_;
  bool alive_ = true;
  std::int32_t scale_ = 1;
  bool overlay_shown_ = false;
  bool keyboard_ = false;
  std::vector<PixelRect> input_;
  WaylandOutput* pointer_surface_ = nullptr;  // the output whose overlay has the pointer
  std::int32_t wheel_axis_sum_ = 0;  // smooth scrolling, in tenths of a notch
  bool discrete_seen_ = false;       // this frame's wheel came as notches
};

}  // namespace perchkin
