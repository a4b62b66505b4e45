// One frame's platform-neutral work for any backend: the instances, what the 2D layers hold,
// the dirty tiles and the plan, all from the frame loop's FrameInput. A backend calls
// prepare_frame, carries the plan out (resize, clear, 2D pass one, GPU pass, 2D pass two,
// present) and then finish_prepared.
#pragma once

#include <span>
#include <vector>

#include "gpu/frame_plan.h"
#include "gpu/renderer.h"

namespace perchkin {

struct PreparedFrame {
  std::vector<BuddyInstance> instances;  // reused from frame to frame
  SceneActivity activity;
  std::vector<TextMark> text_marks;  // this frame's, sorted
  TileGrid marks;
  FramePlan plan;
};

// Overlay size in whole pixels, at least 1 x 1 (also for a rectangle with non-finite numbers).
struct PixelSize {
  int width = 1, height = 1;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};
PixelSize overlay_size(const ScreenRect& overlay);
// The swap chain's (or software buffer's) size for a buffer rectangle, at least 1 x 1.
PixelSize buffer_size(const PixelRect& buffer);

// Fills `out` for this frame and plans it against `state`; speech bubbles mark their drawn boxes.
void prepare_frame(FrameState& state, const FrameInput& in, PreparedFrame& out);

// After a drawn frame. `frame.instances` then holds the frame before (for reuse); the marks stay.
void finish_prepared(FrameState& state, PreparedFrame& frame);

// A flip-model swap chain of two buffers hands back, after each present, the buffer drawn two
// presents ago, not the last one. Clearing only this frame's and last frame's tiles would leave
// what was drawn two frames ago wherever nothing has been since, and a buffer just resized or
// moved holds nothing usable for two frames. This history widens the plan's clears to match.
struct BackBufferHistory {
  std::optional<TileGrid> older;  // marks of the frame before the previous drawn one
  int full_clears = 0;            // frames still to clear whole
};

// Adds the tiles of `older` to the plan's clears (in buffer pixels), or clears the whole buffer
// while a resized or moved buffer's second image is still unknown.
void widen_clears(const BackBufferHistory& history, FramePlan& plan);
// Before finish_prepared: what the next frame's back buffer holds.
void remember_presented(BackBufferHistory& history, const FrameState& state, const FramePlan& plan);

}  // namespace perchkin
