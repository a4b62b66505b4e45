#include "win/wm_recorded.h"

namespace perchkin {

void RecordedWmSource::read_properties(std::int64_t window, WmClient& info) {
  reads += 7;
  const auto it = windows.find(window);
  if (it == windows.end()) {
    info.titled = false;
    return;
  }
  const WmClient& r = it->second.info;
  info.type = r.type;
  info.hidden = r.hidden;
  info.fullscreen = r.fullscreen;
  info.maximised = r.maximised;
  info.desktop = r.desktop;
  info.frame_extents = r.frame_extents;
  info.gtk_frame_extents = r.gtk_frame_extents;
  info.titled = r.titled;
}

std::int64_t RecordedWmSource::read_geometry(std::int64_t window, WmClient& info) {
  reads += 3;
  const auto it = windows.find(window);
  if (it == windows.end()) {
    info.mapped = false;
    return 0;
  }
  info.mapped = it->second.info.mapped;
  info.client = it->second.info.client;
  return it->second.frame;
}

RecordedWmSource recorded_desktop(int count) {
  RecordedWmSource s;
  RecordedWindow dock;
  dock.info.id = 0x200001;
  dock.info.type = WmType::dock;
  dock.info.client = {0.0, 1050.0, 1920.0, 1080.0};
  dock.info.desktop = 0xFFFFFFFF;
  dock.info.titled = true;
  dock.frame = dock.info.id;
  s.windows[dock.info.id] = dock;
  s.bottom_to_top.push_back(dock.info.id);
  for (int i = 0; i < count; ++i) {
    RecordedWindow w;
    w.info.id = 0x400001 + 0x1000 * i;
    const double x = 40.0 + 30.0 * (i % 10) + 120.0 * (i / 10);
    const double y = 100.0 + 60.0 * (i % 10);
    w.info.client = {x, y, x + 300.0 + 10.0 * (i % 7), y + 200.0};
    w.info.frame_extents = {1, 1, 22, 4};
    w.info.desktop = 0;
    w.info.titled = true;
    w.frame = 0xA00001 + i;
    s.windows[w.info.id] = w;
    // The newest on top, below the dock.
    s.bottom_to_top.insert(s.bottom_to_top.end() - 1, w.info.id);
  }
  return s;
}

}  // namespace perchkin
