// The scene's drawings: ink lines and typed text, fed by the buddies' drawing events.
#pragma once

#include "crowd/buddy_event.h"
#include "crowd/buddy_event.h"
#include "crowd/pencil.h"
#include "crowd/buddy.h"
#include "props/particle.h"
#include "props/prop.h"
#include "scene/text_layout.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace perchkin {

inline constexpr std::size_t kMaxDrawings = 400;
// Texts kept at once, bounded like the lines: a new one beyond it removes the oldest.
inline constexpr std::size_t kMaxTexts = 400;

// The colour of a colour text (red when unreadable).
Rgba color_rgba(std::string_view color_text);

struct OverlayPoint {
  float x = 0.0f;
  float y = 0.0f;
};

struct Drawing {
  std::uint64_t id = 0;
  std::vector<OverlayPoint> points;
  Rgba color;
  double width = 1.0;
  double ttl = 0.0;
  bool finished = false;
  double finished_at = 0.0;
  std::uint64_t version = 0;  // grows when points are added, so cached geometry can be dropped
};

struct TextDrawing {
  std::string text;
  Rgba color;
  double size = 28.0;
  TextBox box;
  double duration = 0.3;
  double ttl = 0.0;
  double start = 0.0;
  OverlayPoint origin;
  bool typed = false;
  double typed_at = 0.0;
};


struct Scene {
  std::unordered_map<std::uint64_t, Drawing> drawings;
  std::deque<std::uint64_t> order;  // oldest first
  std::vector<TextDrawing> texts;  // oldest first, at most kMaxTexts
  double origin_x = 0.0, origin_y = 0.0;  // the overlay's top-left in desktop pixels
  TextLayout* layout = nullptr;

  // Kinds 8, 9 and 11; other kinds are ignored here.
  void apply_event(const BuddyEvent& e, double now);
  void expire(double now);
  void clear();
};

// The `drawn` surfaces of the placed platforms, rebuilt every tick.
void append_platform_surfaces(std::vector<Support>& out, std::span<const Prop> props);

}  // namespace perchkin
