// Interface definitions of the Wayland protocols Debian ships no header for (the wlr layer
// shell and virtual pointer) and of xdg-output, with thin request helpers. Written from the
// protocols' names, opcodes and argument types.
#pragma once

#include <wayland-client.h>

#include <cstdint>

extern "C" {
extern const wl_interface zwlr_layer_shell_v1_interface;
extern const wl_interface zwlr_layer_surface_v1_interface;
extern const wl_interface zxdg_output_manager_v1_interface;
extern const wl_interface zxdg_output_v1_interface;
extern const wl_interface zwlr_virtual_pointer_manager_v1_interface;
extern const wl_interface zwlr_virtual_pointer_v1_interface;
extern const wl_interface ext_idle_notifier_v1_interface;
extern const wl_interface ext_idle_notification_v1_interface;
extern const wl_interface org_kde_kwin_idle_interface;
extern const wl_interface org_kde_kwin_idle_timeout_interface;
extern const wl_interface wp_cursor_shape_manager_v1_interface;
extern const wl_interface wp_cursor_shape_device_v1_interface;
}

namespace perchkin::wlp {

struct LayerShell;
struct LayerSurface;
struct XdgOutputManager;
struct XdgOutput;
struct VirtualPointerManager;
struct VirtualPointer;
struct IdleNotifier;
struct IdleNotification;
struct KdeIdle;
struct KdeIdleTimeout;
struct CursorShapeManager;
struct CursorShapeDevice;

// Layer shell.
inline constexpr std::uint32_t kLayerOverlay = 3;
inline constexpr std::uint32_t kAnchorAll = 1 | 2 | 4 | 8;  // top, bottom, left, right
inline constexpr std::uint32_t kKeyboardNone = 0, kKeyboardExclusive = 1, kKeyboardOnDemand = 2;

LayerSurface* get_layer_surface(LayerShell* shell, wl_surface* surface, wl_output* output,
                                std::uint32_t layer, const char* name_space);
void layer_surface_set_size(LayerSurface* s, std::uint32_t w, std::uint32_t h);
void layer_surface_set_anchor(LayerSurface* s, std::uint32_t anchor);
void layer_surface_set_exclusive_zone(LayerSurface* s, std::int32_t zone);
void layer_surface_set_keyboard_interactivity(LayerSurface* s, std::uint32_t mode);
void layer_surface_ack_configure(LayerSurface* s, std::uint32_t serial);
void layer_surface_destroy(LayerSurface* s);
void layer_shell_destroy(LayerShell* s);

struct LayerSurfaceListener {
  void (*configure)(void* data, LayerSurface* s, std::uint32_t serial, std::uint32_t w,
                    std::uint32_t h);
  void (*closed)(void* data, LayerSurface* s);
};
int add_listener(LayerSurface* s, const LayerSurfaceListener* l, void* data);

// xdg-output (version 2 events: logical_position, logical_size, done, name, description).
XdgOutput* get_xdg_output(XdgOutputManager* m, wl_output* output);
void xdg_output_destroy(XdgOutput* o);
void xdg_output_manager_destroy(XdgOutputManager* m);

struct XdgOutputListener {
  void (*logical_position)(void* data, XdgOutput* o, std::int32_t x, std::int32_t y);
  void (*logical_size)(void* data, XdgOutput* o, std::int32_t w, std::int32_t h);
  void (*done)(void* data, XdgOutput* o);
  void (*name)(void* data, XdgOutput* o, const char* name);
  void (*description)(void* data, XdgOutput* o, const char* description);
};
int add_listener(XdgOutput* o, const XdgOutputListener* l, void* data);

// Idle time: ext-idle-notify, or KDE's older idle protocol (what wlroots offered before it).
// Both tell when the seat has had no input for `timeout_ms`, and when it has again.
IdleNotification* get_idle_notification(IdleNotifier* n, std::uint32_t timeout_ms, wl_seat* seat);
void idle_notification_destroy(IdleNotification* n);
void idle_notifier_destroy(IdleNotifier* n);
KdeIdleTimeout* get_idle_timeout(KdeIdle* idle, wl_seat* seat, std::uint32_t timeout_ms);
void idle_timeout_release(KdeIdleTimeout* t);
struct IdleListener {
  void (*idled)(void* data, void* object);
  void (*resumed)(void* data, void* object);
};
int add_listener(IdleNotification* n, const IdleListener* l, void* data);
int add_listener(KdeIdleTimeout* t, const IdleListener* l, void* data);

// Cursor shapes by name, drawn by the compositor from the user's theme.
inline constexpr std::uint32_t kCursorDefault = 1, kCursorPointer = 4, kCursorCrosshair = 8,
                               kCursorGrabbing = 17;
CursorShapeDevice* get_cursor_shape_device(CursorShapeManager* m, wl_pointer* pointer);
void cursor_shape_set(CursorShapeDevice* d, std::uint32_t serial, std::uint32_t shape);
void cursor_shape_device_destroy(CursorShapeDevice* d);
void cursor_shape_manager_destroy(CursorShapeManager* m);

// Virtual pointer (for the tests' input).
inline constexpr std::uint32_t kButtonPressed = 1, kButtonReleased = 0;
VirtualPointer* create_virtual_pointer(VirtualPointerManager* m, wl_seat* seat);
void virtual_pointer_motion_absolute(VirtualPointer* p, std::uint32_t time, std::uint32_t x,
                                     std::uint32_t y, std::uint32_t x_extent,
                                     std::uint32_t y_extent);
void virtual_pointer_button(VirtualPointer* p, std::uint32_t time, std::uint32_t button,
                            std::uint32_t state);
void virtual_pointer_axis(VirtualPointer* p, std::uint32_t time, std::uint32_t axis,
                          wl_fixed_t value);
void virtual_pointer_axis_discrete(VirtualPointer* p, std::uint32_t time, std::uint32_t axis,
                                   wl_fixed_t value, std::int32_t discrete);
void virtual_pointer_frame(VirtualPointer* p);
void virtual_pointer_destroy(VirtualPointer* p);

}  // namespace perchkin::wlp
