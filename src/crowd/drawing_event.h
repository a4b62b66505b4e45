// The drawing events a buddy's pencil queues for the scene: ink (kind 8) and typed text (kind 9),
// carried in BuddyEvent::data.
#pragma once

#include "crowd/buddy_event.h"
#include "crowd/pencil.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace perchkin {

// Payload of an ink event (kind 8).
struct InkEvent {
  std::uint64_t id = 0;
  std::vector<StrokePoint> screen_points;  // desktop pixels
  std::optional<std::string> colour;        // present on the line's first event
  double width = 1.0;
  double ttl = 0.0;
  bool finish = false;
};

// Payload of a typed-text event (kind 9).
struct TextEvent {
  std::string text;
  std::string colour;
  double size = 28.0;
  double duration = 0.3;
  double x = 0.0, y = 0.0;  // top-left, desktop pixels
  double ttl = 0.0;
};

BuddyEvent ink_event(InkEvent ink);
BuddyEvent text_event(TextEvent text);
const InkEvent* ink_of(const BuddyEvent& e);
const TextEvent* text_of(const BuddyEvent& e);

// Drawing ids come from one counter for the whole process.
std::uint64_t next_drawing_id();

}  // namespace perchkin
