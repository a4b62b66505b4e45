// The window manager's word on the desktop (EWMH properties, already read into plain values)
// turned into what the simulation needs: each client as a DesktopWindow, the monitors' work
// areas, what covers a point and whether a full-screen program is in front. No window-system
// header here, so the rules are tested with recorded property data and no server.
#pragma once

#include "win/desktop.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace perchkin {

// _NET_WM_WINDOW_TYPE, reduced to what matters here.
enum class WmType : std::uint8_t { normal, dock, desktop, tool };

// What was read about one managed client.
struct WmClient {
  std::int64_t id = 0;
  ScreenRect client;                // the client area in root coordinates
  std::vector<long> frame_extents;  // _NET_FRAME_EXTENTS: left, right, top, bottom (may be empty)
  // _GTK_FRAME_EXTENTS, in the same order: the shadow a window with client-side decorations
  // draws inside its own area (may be empty).
  std::vector<long> gtk_frame_extents;
  WmType type = WmType::normal;
  bool mapped = true;
  bool hidden = false;  // _NET_WM_STATE_HIDDEN (minimised)
  bool fullscreen = false;
  bool maximised = false;  // both _NET_WM_STATE_MAXIMIZED_VERT and _HORZ
  std::optional<long> desktop;  // _NET_WM_DESKTOP; 0xFFFFFFFF (or -1) means every desktop
  bool titled = false;
};

// The visible frame: the client area less the shadow it draws itself (_GTK_FRAME_EXTENTS),
// grown by the window manager's frame extents. Extents that are negative or larger than 1000
// pixels are nonsense and ignored, as is a shadow that would leave nothing of the window.
ScreenRect frame_rect(const WmClient& c);

DesktopWindow desktop_window(const WmClient& c, std::optional<long> current_desktop);

// Monitor work areas: each monitor less the docks' struts (_NET_WM_STRUT_PARTIAL, 12 values,
// or _NET_WM_STRUT, 4 values, measured from the root window's edges). A monitor that the struts
// would swallow keeps its full rectangle.
std::vector<ScreenRect> work_areas(std::span<const ScreenRect> monitors,
                                   std::span<const std::vector<long>> struts, double root_width,
                                   double root_height);

// The window at (x, y): one of the program's own rectangles (checked first, they are kept
// above), else the first window of the front-to-back list that is shown and contains the point,
// else the bare desktop.
PointOwner cover_at(std::span<const DesktopWindow> front_to_back,
                    std::span<const ScreenRect> own, double x, double y);

// Whether `r` covers at least one of the monitors entirely.
bool covers_a_monitor(const ScreenRect& r, std::span<const ScreenRect> monitors);

// The active window decides: full screen when it says so, or when its frame covers its monitor
// (the one it overlaps most) without being merely maximised. Docks and the desktop never are.
bool fullscreen_decision(const WmClient* active, bool active_is_own,
                         std::span<const ScreenRect> monitors);

}  // namespace perchkin
