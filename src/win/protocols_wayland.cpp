#include "win/protocols_wayland.h"

namespace {

const wl_interface* no_types[] = {nullptr, nullptr, nullptr, nullptr, nullptr};

const wl_interface* get_layer_surface_types[] = {&zwlr_layer_surface_v1_interface,
                                                 &wl_surface_interface, &wl_output_interface,
                                                 nullptr, nullptr};
const wl_message layer_shell_requests[] = {
    {"get_layer_surface", "no?ous", get_layer_surface_types},
    {"destroy", "3", no_types},
};

const wl_message layer_surface_requests[] = {
    {"set_size", "uu", no_types},           {"set_anchor", "u", no_types},
    {"set_exclusive_zone", "i", no_types},  {"set_margin", "iiii", no_types},
    {"set_keyboard_interactivity", "u", no_types},
    {"get_popup", "o", no_types},           {"ack_configure", "u", no_types},
    {"destroy", "", no_types},              {"set_layer", "2u", no_types},
};
const wl_message layer_surface_events[] = {
    {"configure", "uuu", no_types},
    {"closed", "", no_types},
};

const wl_interface* get_xdg_output_types[] = {&zxdg_output_v1_interface, &wl_output_interface};
const wl_message xdg_output_manager_requests[] = {
    {"destroy", "", no_types},
    {"get_xdg_output", "no", get_xdg_output_types},
};
const wl_message xdg_output_requests[] = {{"destroy", "", no_types}};
const wl_message xdg_output_events[] = {
    {"logical_position", "ii", no_types}, {"logical_size", "ii", no_types},
    {"done", "", no_types},               {"name", "2s", no_types},
    {"description", "2s", no_types},
};

const wl_interface* create_pointer_types[] = {&wl_seat_interface,
                                              &zwlr_virtual_pointer_v1_interface};
const wl_interface* create_pointer_with_output_types[] = {
    &wl_seat_interface, &wl_output_interface, &zwlr_virtual_pointer_v1_interface};
const wl_message virtual_pointer_manager_requests[] = {
    {"create_virtual_pointer", "?on", create_pointer_types},
    {"destroy", "", no_types},
    {"create_virtual_pointer_with_output", "2?o?on", create_pointer_with_output_types},
};
const wl_message virtual_pointer_requests[] = {
    {"motion", "uff", no_types},       {"motion_absolute", "uuuuu", no_types},
    {"button", "uuu", no_types},       {"axis", "uuf", no_types},
    {"frame", "", no_types},           {"axis_source", "u", no_types},
    {"axis_stop", "uu", no_types},     {"axis_discrete", "uufi", no_types},
    {"destroy", "", no_types},
};

const wl_interface* get_idle_notification_types[] = {&ext_idle_notification_v1_interface,
                                                     nullptr, &wl_seat_interface};
const wl_message idle_notifier_requests[] = {
    {"destroy", "", no_types},
    {"get_idle_notification", "nuo", get_idle_notification_types},
};
const wl_message idle_notification_requests[] = {{"destroy", "", no_types}};
const wl_message idle_events[] = {{"idled", "", no_types}, {"resumed", "", no_types}};
const wl_interface* get_idle_timeout_types[] = {&org_kde_kwin_idle_timeout_interface,
                                                &wl_seat_interface, nullptr};
const wl_message kde_idle_requests[] = {{"get_idle_timeout", "nou", get_idle_timeout_types}};
const wl_message kde_idle_timeout_requests[] = {{"release", "", no_types},
                                                {"simulate_user_activity", "", no_types}};
const wl_message kde_idle_timeout_events[] = {{"idle", "", no_types}, {"resumed", "", no_types}};

const wl_interface* get_cursor_pointer_types[] = {&wp_cursor_shape_device_v1_interface,
                                                  &wl_pointer_interface};
const wl_message cursor_shape_manager_requests[] = {
    {"destroy", "", no_types},
    {"get_pointer", "no", get_cursor_pointer_types},
    {"get_tablet_tool_v2", "no", no_types},
};
const wl_message cursor_shape_device_requests[] = {{"destroy", "", no_types},
                                                   {"set_shape", "uu", no_types}};

wl_proxy* proxy(void* p) { return static_cast<wl_proxy*>(p); }
std::uint32_t version(void* p) { return wl_proxy_get_version(proxy(p)); }

}  // namespace

extern "C" {
const wl_interface zwlr_layer_shell_v1_interface = {"zwlr_layer_shell_v1", 4, 2,
                                                    layer_shell_requests, 0, nullptr};
const wl_interface zwlr_layer_surface_v1_interface = {
    "zwlr_layer_surface_v1", 4, 9, layer_surface_requests, 2, layer_surface_events};
const wl_interface zxdg_output_manager_v1_interface = {
    "zxdg_output_manager_v1", 3, 2, xdg_output_manager_requests, 0, nullptr};
const wl_interface zxdg_output_v1_interface = {"zxdg_output_v1", 3, 1, xdg_output_requests, 5,
                                               xdg_output_events};
const wl_interface zwlr_virtual_pointer_manager_v1_interface = {
    "zwlr_virtual_pointer_manager_v1", 2, 3, virtual_pointer_manager_requests, 0, nullptr};
const wl_interface zwlr_virtual_pointer_v1_interface = {
    "zwlr_virtual_pointer_v1", 2, 9, virtual_pointer_requests, 0, nullptr};
const wl_interface ext_idle_notifier_v1_interface = {"ext_idle_notifier_v1", 1, 2,
                                                     idle_notifier_requests, 0, nullptr};
const wl_interface ext_idle_notification_v1_interface = {
    "ext_idle_notification_v1", 1, 1, idle_notification_requests, 2, idle_events};
const wl_interface org_kde_kwin_idle_interface = {"org_kde_kwin_idle", 1, 1, kde_idle_requests,
                                                  0, nullptr};
const wl_interface wp_cursor_shape_manager_v1_interface = {
    "wp_cursor_shape_manager_v1", 1, 3, cursor_shape_manager_requests, 0, nullptr};
const wl_interface wp_cursor_shape_device_v1_interface = {
    "wp_cursor_shape_device_v1", 1, 2, cursor_shape_device_requests, 0, nullptr};
const wl_interface org_kde_kwin_idle_timeout_interface = {
    "org_kde_kwin_idle_timeout", 1, 2, kde_idle_timeout_requests, 2, kde_idle_timeout_events};
}

namespace perchkin::wlp {

LayerSurface* get_layer_surface(LayerShell* shell, wl_surface* surface, wl_output* output,
                                std::uint32_t layer, const char* name_space) {
  return reinterpret_cast<LayerSurface*>(wl_proxy_marshal_flags(
      proxy(shell), 0, &zwlr_layer_surface_v1_interface, version(shell), 0, nullptr, surface,
      output, layer, name_space));
}
void layer_surface_set_size(LayerSurface* s, std::uint32_t w, std::uint32_t h) {
  wl_proxy_marshal_flags(proxy(s), 0, nullptr, version(s), 0, w, h);
}
void layer_surface_set_anchor(LayerSurface* s, std::uint32_t anchor) {
  wl_proxy_marshal_flags(proxy(s), 1, nullptr, version(s), 0, anchor);
}
void layer_surface_set_exclusive_zone(LayerSurface* s, std::int32_t zone) {
  wl_proxy_marshal_flags(proxy(s), 2, nullptr, version(s), 0, zone);
}
void layer_surface_set_keyboard_interactivity(LayerSurface* s, std::uint32_t mode) {
  // On-demand focus came with version 4; older ones know only none and exclusive.
  if (mode == kKeyboardOnDemand && version(s) < 4) mode = kKeyboardExclusive;
  wl_proxy_marshal_flags(proxy(s), 4, nullptr, version(s), 0, mode);
}
void layer_surface_ack_configure(LayerSurface* s, std::uint32_t serial) {
  wl_proxy_marshal_flags(proxy(s), 6, nullptr, version(s), 0, serial);
}
void layer_surface_destroy(LayerSurface* s) {
  wl_proxy_marshal_flags(proxy(s), 7, nullptr, version(s), WL_MARSHAL_FLAG_DESTROY);
}
void layer_shell_destroy(LayerShell* s) {
  if (version(s) >= 3) wl_proxy_marshal_flags(proxy(s), 1, nullptr, version(s), WL_MARSHAL_FLAG_DESTROY);
  else wl_proxy_destroy(proxy(s));
}
int add_listener(LayerSurface* s, const LayerSurfaceListener* l, void* data) {
  return wl_proxy_add_listener(proxy(s), reinterpret_cast<void (**)(void)>(const_cast<LayerSurfaceListener*>(l)), data);
}

XdgOutput* get_xdg_output(XdgOutputManager* m, wl_output* output) {
  return reinterpret_cast<XdgOutput*>(wl_proxy_marshal_flags(
      proxy(m), 1, &zxdg_output_v1_interface, version(m), 0, nullptr, output));
}
void xdg_output_destroy(XdgOutput* o) {
  wl_proxy_marshal_flags(proxy(o), 0, nullptr, version(o), WL_MARSHAL_FLAG_DESTROY);
}
void xdg_output_manager_destroy(XdgOutputManager* m) {
  wl_proxy_marshal_flags(proxy(m), 0, nullptr, version(m), WL_MARSHAL_FLAG_DESTROY);
}
int add_listener(XdgOutput* o, const XdgOutputListener* l, void* data) {
  return wl_proxy_add_listener(proxy(o), reinterpret_cast<void (**)(void)>(const_cast<XdgOutputListener*>(l)), data);
}

IdleNotification* get_idle_notification(IdleNotifier* n, std::uint32_t timeout_ms, wl_seat* seat) {
  return reinterpret_cast<IdleNotification*>(wl_proxy_marshal_flags(
      proxy(n), 1, &ext_idle_notification_v1_interface, version(n), 0, nullptr, timeout_ms, seat));
}
void idle_notification_destroy(IdleNotification* n) {
  wl_proxy_marshal_flags(proxy(n), 0, nullptr, version(n), WL_MARSHAL_FLAG_DESTROY);
}
void idle_notifier_destroy(IdleNotifier* n) {
  wl_proxy_marshal_flags(proxy(n), 0, nullptr, version(n), WL_MARSHAL_FLAG_DESTROY);
}
KdeIdleTimeout* get_idle_timeout(KdeIdle* idle, wl_seat* seat, std::uint32_t timeout_ms) {
  return reinterpret_cast<KdeIdleTimeout*>(wl_proxy_marshal_flags(
      proxy(idle), 0, &org_kde_kwin_idle_timeout_interface, version(idle), 0, nullptr, seat,
      timeout_ms));
}
void idle_timeout_release(KdeIdleTimeout* t) {
  wl_proxy_marshal_flags(proxy(t), 0, nullptr, version(t), WL_MARSHAL_FLAG_DESTROY);
}
int add_listener(IdleNotification* n, const IdleListener* l, void* data) {
  return wl_proxy_add_listener(proxy(n), reinterpret_cast<void (**)(void)>(const_cast<IdleListener*>(l)), data);
}
int add_listener(KdeIdleTimeout* t, const IdleListener* l, void* data) {
  return wl_proxy_add_listener(proxy(t), reinterpret_cast<void (**)(void)>(const_cast<IdleListener*>(l)), data);
}

CursorShapeDevice* get_cursor_shape_device(CursorShapeManager* m, wl_pointer* pointer) {
  return reinterpret_cast<CursorShapeDevice*>(wl_proxy_marshal_flags(
      proxy(m), 1, &wp_cursor_shape_device_v1_interface, version(m), 0, nullptr, pointer));
}
void cursor_shape_set(CursorShapeDevice* d, std::uint32_t serial, std::uint32_t shape) {
  wl_proxy_marshal_flags(proxy(d), 1, nullptr, version(d), 0, serial, shape);
}
void cursor_shape_device_destroy(CursorShapeDevice* d) {
  wl_proxy_marshal_flags(proxy(d), 0, nullptr, version(d), WL_MARSHAL_FLAG_DESTROY);
}
void cursor_shape_manager_destroy(CursorShapeManager* m) {
  wl_proxy_marshal_flags(proxy(m), 0, nullptr, version(m), WL_MARSHAL_FLAG_DESTROY);
}

VirtualPointer* create_virtual_pointer(VirtualPointerManager* m, wl_seat* seat) {
  return reinterpret_cast<VirtualPointer*>(wl_proxy_marshal_flags(
      proxy(m), 0, &zwlr_virtual_pointer_v1_interface, version(m), 0, seat, nullptr));
}
void virtual_pointer_motion_absolute(VirtualPointer* p, std::uint32_t time, std::uint32_t x,
                                     std::uint32_t y, std::uint32_t x_extent,
                                     std::uint32_t y_extent) {
  wl_proxy_marshal_flags(proxy(p), 1, nullptr, version(p), 0, time, x, y, x_extent, y_extent);
}
void virtual_pointer_button(VirtualPointer* p, std::uint32_t time, std::uint32_t button,
                            std::uint32_t state) {
  wl_proxy_marshal_flags(proxy(p), 2, nullptr, version(p), 0, time, button, state);
}
void virtual_pointer_axis(VirtualPointer* p, std::uint32_t time, std::uint32_t axis,
                          wl_fixed_t value) {
  wl_proxy_marshal_flags(proxy(p), 3, nullptr, version(p), 0, time, axis, value);
}
void virtual_pointer_axis_discrete(VirtualPointer* p, std::uint32_t time, std::uint32_t axis,
                                   wl_fixed_t value, std::int32_t discrete) {
  wl_proxy_marshal_flags(proxy(p), 7, nullptr, version(p), 0, time, axis, value, discrete);
}
void virtual_pointer_frame(VirtualPointer* p) {
  wl_proxy_marshal_flags(proxy(p), 4, nullptr, version(p), 0);
}
void virtual_pointer_destroy(VirtualPointer* p) {
  wl_proxy_marshal_flags(proxy(p), 8, nullptr, version(p), WL_MARSHAL_FLAG_DESTROY);
}

}  // namespace perchkin::wlp
