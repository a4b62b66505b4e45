// A recorded set of window-manager properties, served like a display server would serve them,
// counting every read (each one a round trip on a real server). For tests of the cache and for
// the sensing benchmark.
#pragma once

#include "win/wm_cache.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace perchkin {

struct RecordedWindow {
  WmClient info;            // what its properties and geometry say
  std::int64_t frame = 0;   // the window manager's frame holding it
};

class RecordedWmSource final : public WmSource {
 public:
  std::vector<std::int64_t> bottom_to_top;
  std::optional<long> desktop = 0;
  std::map<std::int64_t, RecordedWindow> windows;
  // Round trips, as a display server would count them.
  std::size_t reads = 0;
  std::size_t followed = 0;

  std::vector<std::int64_t> stacking() override {
    ++reads;
    return bottom_to_top;
  }
  std::optional<long> current_desktop() override {
    ++reads;
    return desktop;
  }
  // Type, state, desktop, both frame extents and the two names: seven properties.
  void read_properties(std::int64_t window, WmClient& info) override;
  // The attributes, the position on the root and the way up to the frame: three requests.
  std::int64_t read_geometry(std::int64_t window, WmClient& info) override;
  void follow(std::int64_t) override { ++followed; }
};

// `count` titled windows shaped as openbox leaves them (1-pixel sides, 22-pixel title bars,
// 4-pixel bottoms, frames of their own), cascading over a 1920 x 1080 screen, and a dock along
// the bottom.
RecordedWmSource recorded_desktop(int count);

}  // namespace perchkin
