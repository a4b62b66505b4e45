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

}  // namespace perchkin
