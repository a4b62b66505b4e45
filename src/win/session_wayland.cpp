#include "win/session_wayland.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

namespace perchkin {

namespace {

// Outputs' places and sizes are taken within this, so that the overlay's pixels stay a size
// memory can hold, whatever a compositor says.
constexpr std::int32_t kMostLogical = 1 << 14;

WaylandSession& session_of(void* data) { return *static_cast<WaylandSession*>(data); }
WaylandOutput& output_of(void* data) { return *static_cast<WaylandOutput*>(data); }

const wl_registry_listener kRegistry = {
    [](void* d, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
      session_of(d).on_global(name, interface, version);
    },
    [](void* d, wl_registry*, std::uint32_t name) { session_of(d).on_global_remove(name); },
};

// The output's events reach the session through the output record, which knows no session:
// the session pointer rides in a small pair.
struct OutputLink {
  WaylandSession* session;
  WaylandOutput* output;
};

const wl_output_listener kOutput = {
    [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       const char*, const char*, std::int32_t) {},
    [](void* d, wl_output*, std::uint32_t flags, std::int32_t w, std::int32_t h, std::int32_t) {
      if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
      auto* link = static_cast<OutputLink*>(d);
      link->output->mode_width = std::clamp(w, 0, kMostLogical);
      link->output->mode_height = std::clamp(h, 0, kMostLogical);
    },
    [](void* d, wl_output*) {
      auto* link = static_cast<OutputLink*>(d);
      link->session->on_output_changed(*link->output);
    },
    [](void* d, wl_output*, std::int32_t factor) {
      static_cast<OutputLink*>(d)->output->scale = std::clamp(factor, 1, 4);
    },
#ifdef WL_OUTPUT_NAME_SINCE_VERSION
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
#endif
};

const wlp::XdgOutputListener kXdgOutput = {
    [](void* d, wlp::XdgOutput*, std::int32_t x, std::int32_t y) {
      auto* link = static_cast<OutputLink*>(d);
      link->output->x = std::clamp(x, -kMostLogical, kMostLogical);
      link->output->y = std::clamp(y, -kMostLogical, kMostLogical);
    },
    [](void* d, wlp::XdgOutput*, std::int32_t w, std::int32_t h) {
      auto* link = static_cast<OutputLink*>(d);
      link->output->width = std::clamp(w, 0, kMostLogical);
      link->output->height = std::clamp(h, 0, kMostLogical);
      link->output->logical = true;
    },
    [](void* d, wlp::XdgOutput*) {
      auto* link = static_cast<OutputLink*>(d);
      link->session->on_output_changed(*link->output);
    },
    [](void* d, wlp::XdgOutput*, const char* name) {
      static_cast<OutputLink*>(d)->output->name = name != nullptr ? name : "";
    },
    [](void*, wlp::XdgOutput*, const char*) {},
};

const wlp::LayerSurfaceListener kLayerSurface = {
    [](void* d, wlp::LayerSurface*, std::uint32_t serial, std::uint32_t w, std::uint32_t h) {
      auto* link = static_cast<OutputLink*>(d);
      link->session->on_layer_configure(*link->output, serial, w, h);
    },
    [](void* d, wlp::LayerSurface*) {
      auto* link = static_cast<OutputLink*>(d);
      link->session->on_layer_closed(*link->output);
    },
};

const wl_seat_listener kSeat = {
    [](void* d, wl_seat*, std::uint32_t caps) { session_of(d).on_seat_capabilities(caps); },
    [](void*, wl_seat*, const char*) {},
};

const wl_pointer_listener kPointer = {
    [](void* d, wl_pointer*, std::uint32_t serial, wl_surface* s, wl_fixed_t x, wl_fixed_t y) {
      session_of(d).on_pointer_at(s, x, y, serial);
    },
    [](void* d, wl_pointer*, std::uint32_t, wl_surface*) { session_of(d).on_pointer_leave(); },
    [](void* d, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
      session_of(d).on_pointer_at(nullptr, x, y, 0);
    },
    [](void* d, wl_pointer*, std::uint32_t, std::uint32_t time, std::uint32_t button,
       std::uint32_t state) {
      session_of(d).on_button(time, button, state == WL_POINTER_BUTTON_STATE_PRESSED);
    },
    [](void* d, wl_pointer*, std::uint32_t time, std::uint32_t axis, wl_fixed_t value) {
      session_of(d).on_axis(time, axis, value, false);
    },
    [](void* d, wl_pointer*) { session_of(d).on_axis(0, ~0u, 0, false); },  // frame
    [](void*, wl_pointer*, std::uint32_t) {},
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    [](void* d, wl_pointer*, std::uint32_t axis, std::int32_t discrete) {
      session_of(d).on_axis(0, axis, wl_fixed_from_int(discrete), true);
    },
#ifdef WL_POINTER_AXIS_VALUE120_SINCE_VERSION
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
#endif
};

const wl_keyboard_listener kKeyboard = {
    [](void* d, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
      session_of(d).on_keymap(format, fd, size);
    },
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
    [](void* d, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
      session_of(d).on_key(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
    },
    [](void* d, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
       std::uint32_t locked, std::uint32_t group) {
      session_of(d).on_modifiers(depressed, latched, locked, group);
    },
    [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
};

const wlp::IdleListener kIdle = {
    [](void* d, void*) { session_of(d).on_idle(true); },
    [](void* d, void*) { session_of(d).on_idle(false); },
};

double steady_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The compositor says "idle" after this much quiet; the time before it counts too.
constexpr std::uint32_t kIdleTimeoutMs = 1000;

const wl_callback_listener kFrameDone = {
    [](void* d, wl_callback* cb, std::uint32_t) {
      auto& o = output_of(d);
      if (o.frame == cb) o.frame = nullptr;
      wl_callback_destroy(cb);
    },
};

}  // namespace

Result<std::unique_ptr<WaylandSession>> WaylandSession::open(const char* name) {
  using R = Result<std::unique_ptr<WaylandSession>>;
  std::unique_ptr<WaylandSession> s(new WaylandSession());
  s->display_ = wl_display_connect(name);
  if (s->display_ == nullptr)
    return R::fail(std::string("cannot connect to the Wayland display ") +
                   (name != nullptr ? name : "(default)"));
  s->registry_ = wl_display_get_registry(s->display_);
  wl_registry_add_listener(s->registry_, &kRegistry, s.get());
  // Globals first, then the outputs' first descriptions.
  if (!s->roundtrip() || !s->roundtrip())
    return R::fail("the Wayland display closed the connection at start-up");
  if (s->layer_shell_ == nullptr)
    return R::fail("the Wayland compositor offers no layer shell (zwlr_layer_shell_v1)");
  if (s->compositor_ == nullptr || s->shm_ == nullptr)
    return R::fail("the Wayland compositor offers no compositor or shared memory global");
  s->outputs_changed = false;
  s->watch_idle();
  return R::success(std::move(s));
}

WaylandSession::~WaylandSession() {
  if (display_ == nullptr) return;
  for (auto& o : outputs_) {
    drop_surface(*o);
    if (o->xdg != nullptr) wlp::xdg_output_destroy(o->xdg);
    if (o->output != nullptr) wl_output_destroy(o->output);
    delete reinterpret_cast<OutputLink*>(wl_proxy_get_user_data(reinterpret_cast<wl_proxy*>(o->output)));
  }
  outputs_.clear();
  if (idle_notification_ != nullptr) wlp::idle_notification_destroy(idle_notification_);
  if (idle_notifier_ != nullptr) wlp::idle_notifier_destroy(idle_notifier_);
  if (kde_idle_timeout_ != nullptr) wlp::idle_timeout_release(kde_idle_timeout_);
  if (kde_idle_ != nullptr) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(kde_idle_));
  if (cursor_device_ != nullptr) wlp::cursor_shape_device_destroy(cursor_device_);
  if (cursor_shapes_ != nullptr) wlp::cursor_shape_manager_destroy(cursor_shapes_);
  if (pointer_ != nullptr) wl_pointer_destroy(pointer_);
  if (keyboard_device_ != nullptr) wl_keyboard_destroy(keyboard_device_);
  if (xkb_state_ != nullptr) xkb_state_unref(xkb_state_);
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  if (xkb_ != nullptr) xkb_context_unref(xkb_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  if (xdg_outputs_ != nullptr) wlp::xdg_output_manager_destroy(xdg_outputs_);
  if (layer_shell_ != nullptr) wlp::layer_shell_destroy(layer_shell_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

void WaylandSession::on_global(std::uint32_t name, const char* interface, std::uint32_t version) {
  const auto bind = [&](const wl_interface* what, std::uint32_t most) {
    return wl_registry_bind(registry_, name, what, std::min(version, most));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    // damage_buffer came with version 4.
    if (version >= 4) compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    layer_shell_ = static_cast<wlp::LayerShell*>(bind(&zwlr_layer_shell_v1_interface, 4));
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
    xdg_outputs_ = static_cast<wlp::XdgOutputManager*>(bind(&zxdg_output_manager_v1_interface, 2));
    for (auto& o : outputs_) watch_output(*o);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && seat_ == nullptr) {
    seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    wl_seat_add_listener(seat_, &kSeat, this);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    add_output(name, version);
  } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
    idle_notifier_ = static_cast<wlp::IdleNotifier*>(bind(&ext_idle_notifier_v1_interface, 1));
  } else if (std::strcmp(interface, wp_cursor_shape_manager_v1_interface.name) == 0) {
    cursor_shapes_ = static_cast<wlp::CursorShapeManager*>(bind(&wp_cursor_shape_manager_v1_interface, 1));
  } else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
    kde_idle_ = static_cast<wlp::KdeIdle*>(bind(&org_kde_kwin_idle_interface, 1));
  }
}

void WaylandSession::add_output(std::uint32_t global, std::uint32_t version) {
  auto o = std::make_unique<WaylandOutput>();
  o->global = global;
  o->output = static_cast<wl_output*>(
      wl_registry_bind(registry_, global, &wl_output_interface, std::min(version, 2u)));
  auto* link = new OutputLink{this, o.get()};
  wl_output_add_listener(o->output, &kOutput, link);
  outputs_.push_back(std::move(o));
  watch_output(*outputs_.back());
}

void WaylandSession::watch_output(WaylandOutput& o) {
  if (xdg_outputs_ == nullptr || o.xdg != nullptr) return;
  o.xdg = wlp::get_xdg_output(xdg_outputs_, o.output);
  wlp::add_listener(o.xdg, &kXdgOutput,
                    wl_proxy_get_user_data(reinterpret_cast<wl_proxy*>(o.output)));
}

void WaylandSession::on_global_remove(std::uint32_t name) {
  const auto it = std::find_if(outputs_.begin(), outputs_.end(),
                               [&](const auto& o) { return o->global == name; });
  if (it == outputs_.end()) return;
  WaylandOutput& o = **it;
  drop_surface(o);
  auto* link = static_cast<OutputLink*>(wl_proxy_get_user_data(reinterpret_cast<wl_proxy*>(o.output)));
  if (o.xdg != nullptr) wlp::xdg_output_destroy(o.xdg);
  wl_output_destroy(o.output);
  delete link;
  outputs_.erase(it);
  outputs_changed = true;
}

void WaylandSession::on_output_changed(WaylandOutput& o) {
  if (!o.logical && o.mode_width > 0) {
    o.width = o.mode_width / std::max(1, o.scale);
    o.height = o.mode_height / std::max(1, o.scale);
  }
  outputs_changed = true;
  scale_ = 1;
  for (const auto& q : outputs_) scale_ = std::max(scale_, q->scale);
  if (overlay_shown_ && o.surface == nullptr && o.usable()) make_surface(o);
}

ScreenRect WaylandSession::screen() const {
  bool any = false;
  ScreenRect r{};
  for (const auto& o : outputs_) {
    if (!o->usable()) continue;
    const ScreenRect q = o->rect(scale_);
    if (!any) r = q;
    r.left = std::min(r.left, q.left);
    r.top = std::min(r.top, q.top);
    r.right = std::max(r.right, q.right);
    r.bottom = std::max(r.bottom, q.bottom);
    any = true;
  }
  return any ? r : ScreenRect{0.0, 0.0, 1280.0, 720.0};
}

std::vector<ScreenRect> WaylandSession::output_rects() const {
  std::vector<ScreenRect> out;
  for (const auto& o : outputs_)
    if (o->usable()) out.push_back(o->rect(scale_));
  return out;
}

bool WaylandSession::dispatch() {
  if (!alive_) return false;
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) return alive_ = false;
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display_);
    return alive_ = false;
  }
  pollfd p{wl_display_get_fd(display_), POLLIN, 0};
  if (poll(&p, 1, 0) > 0) {
    if (wl_display_read_events(display_) < 0) return alive_ = false;
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) return alive_ = false;
  wl_display_flush(display_);
  return true;
}

std::string WaylandSession::why_gone() const {
  const int error = wl_display_get_error(display_);
  if (error != EPROTO) return error != 0 ? std::strerror(error) : "it closed the connection";
  const wl_interface* interface = nullptr;
  std::uint32_t id = 0;
  const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
  return std::string("protocol error ") + std::to_string(code) + " on " +
         (interface != nullptr ? interface->name : "an unknown object");
}

bool WaylandSession::roundtrip() {
  if (!alive_) return false;
  if (wl_display_roundtrip(display_) < 0) alive_ = false;
  return alive_;
}

void WaylandSession::show_overlay(bool shown) {
  overlay_shown_ = shown;
  for (auto& o : outputs_) {
    if (shown && o->surface == nullptr && o->usable()) make_surface(*o);
    else if (!shown) drop_surface(*o);
  }
  wl_display_flush(display_);
}

void WaylandSession::make_surface(WaylandOutput& o) {
  o.surface = wl_compositor_create_surface(compositor_);
  o.layer = wlp::get_layer_surface(layer_shell_, o.surface, o.output, wlp::kLayerOverlay,
                                   "perchkin");
  wlp::add_listener(o.layer, &kLayerSurface,
                    wl_proxy_get_user_data(reinterpret_cast<wl_proxy*>(o.output)));
  wl_surface_set_user_data(o.surface, &o);
  wlp::layer_surface_set_anchor(o.layer, wlp::kAnchorAll);
  wlp::layer_surface_set_size(o.layer, 0, 0);
  wlp::layer_surface_set_exclusive_zone(o.layer, -1);
  wlp::layer_surface_set_keyboard_interactivity(
      o.layer, keyboard_ ? wlp::kKeyboardExclusive : wlp::kKeyboardNone);
  ++o.surface_serial;
  o.configured = false;
  apply_input(o);
  wl_surface_commit(o.surface);
}

void WaylandSession::drop_surface(WaylandOutput& o) {
  if (pointer_surface_ == &o) {
    pointer_surface_ = nullptr;
    pointer_inside = false;
  }
  if (o.frame != nullptr) {
    wl_callback_destroy(o.frame);
    o.frame = nullptr;
  }
  if (o.layer != nullptr) wlp::layer_surface_destroy(o.layer);
  if (o.surface != nullptr) wl_surface_destroy(o.surface);
  o.layer = nullptr;
  o.surface = nullptr;
  o.configured = false;
}

void WaylandSession::on_layer_configure(WaylandOutput& o, std::uint32_t serial, std::uint32_t w,
                                        std::uint32_t h) {
  if (o.layer == nullptr) return;
  wlp::layer_surface_ack_configure(o.layer, serial);
  const auto size = [](std::uint32_t v, std::int32_t fallback) {
    return v == 0 || v > 1u << 15 ? fallback : static_cast<std::int32_t>(v);
  };
  o.surface_width = size(w, o.width);
  o.surface_height = size(h, o.height);
  if (!o.configured) outputs_changed = true;  // the renderer draws the new surface whole
  o.configured = true;
}

void WaylandSession::on_layer_closed(WaylandOutput& o) {
  drop_surface(o);
  outputs_changed = true;
}

void WaylandSession::apply_input(WaylandOutput& o) {
  if (o.surface == nullptr) return;
  wl_region* region = wl_compositor_create_region(compositor_);
  for (const PixelRect& r : input_) {
    // Desktop pixels to the surface's logical ones, rounding outwards.
    const auto down = [&](std::int32_t v) { return v >= 0 ? v / scale_ : -((-v + scale_ - 1) / scale_); };
    const auto up = [&](std::int32_t v) { return -down(-v); };
    const std::int32_t left = down(r.left) - o.x, top = down(r.top) - o.y;
    const std::int32_t w = up(r.right) - o.x - left, h = up(r.bottom) - o.y - top;
    if (w <= 0 || h <= 0 || left >= o.width || top >= o.height || left + w <= 0 || top + h <= 0)
      continue;
    wl_region_add(region, left, top, w, h);
  }
  wl_surface_set_input_region(o.surface, region);
  wl_region_destroy(region);
}

void WaylandSession::set_input(const std::vector<PixelRect>& rects) {
  if (rects == input_) return;
  input_ = rects;
  for (auto& o : outputs_) {
    if (o->surface == nullptr || !o->configured) continue;
    apply_input(*o);
    wl_surface_commit(o->surface);
  }
  wl_display_flush(display_);
}

void WaylandSession::set_keyboard(bool wanted) {
  if (wanted == keyboard_) return;
  keyboard_ = wanted;
  for (auto& o : outputs_) {
    if (o->layer == nullptr) continue;
    wlp::layer_surface_set_keyboard_interactivity(
        o->layer, wanted ? wlp::kKeyboardExclusive : wlp::kKeyboardNone);
    wl_surface_commit(o->surface);
  }
  wl_display_flush(display_);
}

void WaylandSession::request_frame(WaylandOutput& o) {
  if (o.surface == nullptr || o.frame != nullptr) return;
  o.frame = wl_surface_frame(o.surface);
  wl_callback_add_listener(o.frame, &kFrameDone, &o);
}

void WaylandSession::watch_idle() {
  if (seat_ == nullptr) return;
  if (idle_notifier_ != nullptr) {
    idle_notification_ = wlp::get_idle_notification(idle_notifier_, kIdleTimeoutMs, seat_);
    wlp::add_listener(idle_notification_, &kIdle, this);
  } else if (kde_idle_ != nullptr) {
    kde_idle_timeout_ = wlp::get_idle_timeout(kde_idle_, seat_, kIdleTimeoutMs);
    wlp::add_listener(kde_idle_timeout_, &kIdle, this);
  }
}

void WaylandSession::on_idle(bool idle) {
  idle_ = idle;
  idle_since_ = steady_seconds() - kIdleTimeoutMs / 1000.0;
}

double WaylandSession::idle_seconds() const {
  return idle_ ? std::max(0.0, steady_seconds() - idle_since_) : 0.0;
}

void WaylandSession::on_keymap(std::uint32_t format, int fd, std::uint32_t size) {
  // The keymap is a text the compositor hands over in shared memory; one that is not text,
  // empty or larger than a keymap ever is, is not read.
  if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0 || size > (16u << 20)) {
    close(fd);
    return;
  }
  void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (text == MAP_FAILED) return;
  if (xkb_ == nullptr) xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_keymap* keymap =
      xkb_ == nullptr ? nullptr
                      : xkb_keymap_new_from_buffer(xkb_, static_cast<const char*>(text),
                                                   strnlen(static_cast<const char*>(text), size),
                                                   XKB_KEYMAP_FORMAT_TEXT_V1,
                                                   XKB_KEYMAP_COMPILE_NO_FLAGS);
  munmap(text, size);
  if (keymap == nullptr) return;
  if (xkb_state_ != nullptr) xkb_state_unref(xkb_state_);
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  keymap_ = keymap;
  xkb_state_ = xkb_state_new(keymap_);
}

void WaylandSession::on_key(std::uint32_t key, bool pressed) {
  if (!pressed || xkb_state_ == nullptr || key_events.size() >= 256) return;
  // Wayland sends evdev codes; xkb counts from 8.
  const xkb_keysym_t sym = xkb_state_key_get_one_sym(xkb_state_, key + 8);
  const bool shift =
      xkb_state_mod_name_is_active(xkb_state_, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0;
  if (sym != XKB_KEY_NoSymbol) key_events.push_back({sym, shift});
}

void WaylandSession::on_modifiers(std::uint32_t depressed, std::uint32_t latched,
                                  std::uint32_t locked, std::uint32_t group) {
  if (xkb_state_ != nullptr) xkb_state_update_mask(xkb_state_, depressed, latched, locked, 0, 0, group);
}

void WaylandSession::on_seat_capabilities(std::uint32_t caps) {
  const bool has_keyboard = (caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (has_keyboard && keyboard_device_ == nullptr) {
    keyboard_device_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_device_, &kKeyboard, this);
  } else if (!has_keyboard && keyboard_device_ != nullptr) {
    wl_keyboard_destroy(keyboard_device_);
    keyboard_device_ = nullptr;
  }
  const bool has_pointer = (caps & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (has_pointer && pointer_ == nullptr) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointer, this);
    if (cursor_shapes_ != nullptr) cursor_device_ = wlp::get_cursor_shape_device(cursor_shapes_, pointer_);
  } else if (!has_pointer && pointer_ != nullptr) {
    if (cursor_device_ != nullptr) wlp::cursor_shape_device_destroy(cursor_device_);
    cursor_device_ = nullptr;
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
    pointer_inside = left_held = right_held = false;
  }
}

void WaylandSession::on_pointer_at(wl_surface* surface, wl_fixed_t sx, wl_fixed_t sy,
                                   std::uint32_t serial) {
  if (surface != nullptr) {
    enter_serial_ = serial;
    shape_shown_ = 0;
    pointer_surface_ = nullptr;
    for (auto& o : outputs_)
      if (o->surface == surface) pointer_surface_ = o.get();
    pointer_inside = pointer_surface_ != nullptr;
  }
  if (pointer_surface_ == nullptr) return;
  pointer_x = (pointer_surface_->x + wl_fixed_to_double(sx)) * scale_;
  pointer_y = (pointer_surface_->y + wl_fixed_to_double(sy)) * scale_;
  if (cursor_device_ != nullptr && cursor_shape) {
    const std::uint32_t shape = cursor_shape(pointer_x, pointer_y);
    if (shape != shape_shown_) wlp::cursor_shape_set(cursor_device_, enter_serial_, shape);
    shape_shown_ = shape;
  }
}

void WaylandSession::on_button(std::uint32_t time, std::uint32_t button, bool pressed) {
  if (button == 0x110) left_held = pressed;
  if (button == 0x111) right_held = pressed;
  if (pointer_events.size() < 256)
    pointer_events.push_back({WaylandPointerEvent::Kind::button, button, pressed, 0, time,
                              pointer_x, pointer_y});
}

void WaylandSession::on_axis(std::uint32_t time, std::uint32_t axis, wl_fixed_t value,
                             bool discrete) {
  if (axis == ~0u) {  // the end of one pointer frame
    discrete_seen_ = false;
    return;
  }
  if (axis != WL_POINTER_AXIS_VERTICAL_SCROLL) return;
  std::int32_t notches = 0;
  if (discrete) {
    discrete_seen_ = true;
    notches = -wl_fixed_to_int(value);
  } else if (!discrete_seen_) {
    // Smooth scrolling: ten units make a notch, as a wheel's click reports.
    wheel_axis_sum_ += static_cast<std::int32_t>(std::lround(wl_fixed_to_double(value) * 10.0));
    notches = -wheel_axis_sum_ / 100;
    wheel_axis_sum_ %= 100;
  }
  if (notches != 0 && pointer_events.size() < 256)
    pointer_events.push_back({WaylandPointerEvent::Kind::wheel, 0, false,
                              std::clamp(notches, -10, 10), time, pointer_x, pointer_y});
}

}  // namespace perchkin
