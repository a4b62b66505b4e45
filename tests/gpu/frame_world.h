// A world for frame tests: a crew and what the frame reads besides it.
#pragma once

#include <cstdint>
#include <string>

#include "gpu/render_entries.h"
#include "gpu/renderer.h"
#include "props/effects.h"
#include "scene/scene.h"
#include "settings/settings.h"

namespace perchkin {

inline Buddy idle_buddy(std::uint32_t id, double x, double y, std::string color = "orange") {
  Buddy b;
  b.id = id;
  b.color = std::move(color);
  b.motion.x = x;
  b.motion.y = y;
  b.motion.unit = 4.0;
  b.motion.mode = BuddyMode::idle;
  b.mind.clock = 1.0;
  return b;
}

struct FrameWorld {
  Crew crew;
  RenderEntries entries;
  Scene scene;
  Effects effects;
  Settings settings;
  ScreenRect overlay{0.0, 0.0, 800.0, 600.0};
  double clock = 5.0;

  FrameInput input() {
    sync_entries(entries, crew);
    FrameInput in;
    in.crew = &crew;
    in.entries = &entries;
    in.scene = &scene;
    in.effects = &effects;
    in.settings = &settings;
    in.overlay = overlay;
    in.clock = clock;
    return in;
  }
};

}  // namespace perchkin
