// Where a frame changed, for a target that keeps its pixels between frames (the X11 overlay's
// framebuffer object or shared image): finished drawings, typed text and hazards make the
// frame plan redraw the whole overlay, which a target that forgets its pixels needs; one that
// keeps them needs only the tiles of what moves (the plan's own marks), of the hazards (they
// flicker and bob) and of text still being typed, as long as the finished drawings stay the
// same. A change to those redraws everything once.
#pragma once

#include <cstdint>
#include <optional>

#include "gpu/frame_prepare.h"

namespace perchkin {

// Changes whenever a finished drawing, a typed text or an in-flight drawing is added, removed
// or changed.
std::uint64_t drawing_signature(const Scene& scene);

// This frame's changed tiles when they can be less than the whole overlay: the plan redraws the
// whole overlay only because of drawings, text or hazards (no menu, no selection box). Nullopt
// when the plan's marks stand.
std::optional<TileGrid> damage_marks(const FrameInput& in, const PreparedFrame& frame);

// Kept by the backend from frame to frame.
struct DamageState {
  std::optional<TileGrid> previous;  // last drawn frame's damage (or its plan's marks)
  std::uint64_t signature = 0;
  bool has_signature = false;
};

// Replaces the plan's clears (buffer pixels) by this frame's and the last frame's damage when
// that is allowed, and remembers this frame for the next. Call after prepare_frame on a frame
// that is drawn.
void narrow_clears(DamageState& state, const FrameInput& in, PreparedFrame& frame);

}  // namespace perchkin
