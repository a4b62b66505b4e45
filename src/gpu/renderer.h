// The renderer seam: the frame loop hands it the world once per frame; a backend (OpenGL,
// Direct3D 11, the software presenter, or the null renderer of --headless) builds the frame with
// the platform-neutral planning of gpu/frame_plan.h, draws the two 2D passes of
// gpu/overlay_2d.h through its Canvas around its GPU pass, and presents.
#pragma once

#include "base/status.h"
#include "gpu/canvas.h"
#include "base/geometry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace perchkin {

struct Crew;
struct Scene;
struct Effects;
struct RenderEntries;
struct Settings;

// Everything one frame reads. Positions in it are desktop pixels; the overlay's top-left is
// `overlay.left, overlay.top`.
struct FrameInput {
  const Crew* crew = nullptr;
  const Scene* scene = nullptr;
  const Effects* effects = nullptr;
  const RenderEntries* entries = nullptr;
  const Settings* settings = nullptr;
  ScreenRect overlay;
  double ui_scale = 1.0;  // the display scale
  double alpha = 1.0;     // interpolation between the last two ticks
  double clock = 0.0;     // world time, seconds: hazard, bubble and typing ages count on it
  bool forced = false;    // draw even when nothing changed
  // While the action menu is open: the buddies it acts on (their feet are ringed).
  std::vector<std::uint32_t> menu_targets;
  // The selection box being dragged, desktop pixels (the buddies it meets are ringed).
  std::optional<ScreenRect> selection;
  // The user's own hat and glasses images (premultiplied BGRA); null draws the built-in wear.
  const CanvasBitmap* custom_hat = nullptr;
  const CanvasBitmap* custom_glasses = nullptr;
  // The second 2D pass ends with these (the action menu, the selection box); may be empty.
  std::function<void(Canvas&)> draw_menu;
  std::function<void(Canvas&)> draw_selection;
};

struct FrameResult {
  bool drawn = false;        // false: skipped, nothing changed
  double present_ms = 0.0;   // time spent waiting inside the present call
};

class Renderer {
 public:
  virtual ~Renderer() = default;
  // Starts on the overlay window (the Shell's native handle) covering `overlay`. `software`
  // picks the software path only.
  virtual Status start(std::uintptr_t window, const ScreenRect& overlay, bool software) = 0;
  // The overlay moved or changed size; sizes below 1 x 1 are taken as 1 x 1.
  virtual void resize(const ScreenRect& overlay) = 0;
  virtual Result<FrameResult> frame(const FrameInput& in) = 0;
  // Text measuring between frames (bubble sizes, typed drawings), with the frame's fonts.
  virtual Canvas& canvas() = 0;
};

// --headless: nothing is drawn; text is measured by the recording canvas's estimate.
class NullRenderer final : public Renderer {
 public:
  Status start(std::uintptr_t, const ScreenRect&, bool) override { return Status::success(); }
  void resize(const ScreenRect&) override {}
  Result<FrameResult> frame(const FrameInput&) override {
    return Result<FrameResult>::success(FrameResult{});
  }
  Canvas& canvas() override { return canvas_; }

 private:
  RecordingCanvas canvas_;
};

}  // namespace perchkin
