// What the window manager said about its clients, kept between ticks. Reading a window's
// properties costs a round trip to the display server per property, so each client is read once
// and again only after an event says that part of it changed: the desktop's event handling marks
// clients stale (a property, a move, the stacking list) and the next look reads just those.
// The reads go through WmSource: the X11 desktop reads the server, tests and the benchmark a
// recorded property set.
#pragma once

#include "win/wm_rules.h"

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace perchkin {

class WmSource {
 public:
  virtual ~WmSource() = default;
  // _NET_CLIENT_LIST_STACKING as stored: bottom to top.
  virtual std::vector<std::int64_t> stacking() = 0;
  virtual std::optional<long> current_desktop() = 0;
  // The window's type, state, desktop, frame extents and whether it has a title, into `info`.
  virtual void read_properties(std::int64_t window, WmClient& info) = 0;
  // Whether it is mapped and its client rectangle, into `info`; returns the top-level window
  // holding it (the window manager's frame), which moves when the client is dragged.
  virtual std::int64_t read_geometry(std::int64_t window, WmClient& info) = 0;
  // Asks for the client's own property and structure events from now on.
  virtual void follow(std::int64_t window) = 0;
};

// The parts of a client that an event makes stale.
enum class WmStale : std::uint8_t { properties, geometry };

class WmCache {
 public:
  // The stacking list or the current desktop changed.
  void root_changed() { root_dirty_ = true; }
  // A client's properties or its geometry changed; `window` may be a client or the frame
  // holding one. Windows the cache does not know are ignored. Returns whether it was known.
  bool changed(std::int64_t window, WmStale what);
  // The window is gone.
  void destroyed(std::int64_t window);

  // Re-reads the stacking list if it changed; true when it did (the docks' struts may have too).
  bool refresh_root(WmSource& source);
  // Front to back, as the last refresh_root read it.
  const std::vector<std::int64_t>& stacking() const { return stacking_; }
  std::optional<long> current_desktop() const { return current_desktop_; }

  // Every client but the program's own, front to back, stale parts re-read first.
  const std::vector<DesktopWindow>& windows(WmSource& source, std::span<const std::int64_t> own);
  // Whether anything changed since windows() last answered.
  bool stale() const { return root_dirty_ || any_dirty_; }
  const std::vector<DesktopWindow>& listed() const { return listed_; }

  // What is known about one window, refreshed; read afresh (and not kept) when the cache does
  // not know it.
  WmClient client(WmSource& source, std::int64_t window);

  std::size_t size() const { return clients_.size(); }

 private:
  struct Client {
    std::int64_t frame = 0;
    WmClient info;
    bool props_dirty = true;
    bool geometry_dirty = true;
  };
  Client& entry(WmSource& source, std::int64_t window);
  void refresh(WmSource& source, std::int64_t window, Client& c);

  bool root_dirty_ = true;
  bool any_dirty_ = true;
  std::vector<std::int64_t> stacking_;  // front to back
  std::optional<long> current_desktop_;
  std::unordered_map<std::int64_t, Client> clients_;
  std::unordered_map<std::int64_t, std::int64_t> frames_;  // frame -> client
  std::vector<DesktopWindow> listed_;
};

}  // namespace perchkin
