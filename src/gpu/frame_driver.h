// The steps of one frame for any desktop: prepare it, skip it when nothing changed, choose the
// rectangles to redraw from what the presenter's buffer keeps, have the presenter draw and
// show them, replace a lost presenter, and pace drawn frames.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "gpu/frame_damage.h"
#include "gpu/frame_prepare.h"
#include "gpu/presenter.h"

namespace perchkin {

// Drawn frames are paced to this period when presenting does not wait for the display.
inline constexpr double kFramePeriod = 1.0 / 60.0;

// The clock and the sleep pacing uses; tests give their own.
struct FramePacing {
  std::function<double()> now;                 // monotonic seconds
  std::function<void(double)> sleep_until;     // until that moment on the same clock
};
FramePacing system_pacing();

// Paces drawn frames: sleeps until one period after the last deadline.
class FramePacer {
 public:
  explicit FramePacer(FramePacing pacing) : pacing_(std::move(pacing)) {}
  double now() const { return pacing_.now(); }
  // After a frame presented at `presented` (on the pacing clock).
  void wait(double presented);

 private:
  FramePacing pacing_;
  double deadline_ = 0.0;
};

// How a lost presenter is replaced: by `restart`, up to `most_restarts` times in a row, then by
// `fallback`. Either may fail; that failure ends the frame with its message.
struct PresenterRecovery {
  PresenterMaker restart;
  PresenterMaker fallback;
  int most_restarts = 3;
};

class FrameDriver {
 public:
  explicit FrameDriver(FramePacing pacing = system_pacing()) : pacer_(std::move(pacing)) {}

  void use(std::unique_ptr<Presenter> presenter, PresenterRecovery recovery);
  bool ready() const { return presenter_ != nullptr; }
  // The next frame is drawn, all of it (the window is shown a new way).
  void redraw_whole();
  // Draws the frame, or skips it when nothing changed.
  Result<FrameResult> frame(const FrameInput& in);

 private:
  Result<FrameResult> recover();

  FramePacer pacer_;
  std::unique_ptr<Presenter> presenter_;
  PresenterRecovery recovery_;
  int restarts_ = 0;  // presenters made again since the last frame shown
  FrameState state_;
  PreparedFrame prepared_;
  DamageState damage_;
  BackBufferHistory history_;
  std::vector<PixelRect> rects_;
  PixelSize buffer_{0, 0};  // the presenter's buffer; 0 x 0 before its first resize
  PixelRect last_buffer_;
  std::optional<PixelSize> overlay_;
  bool whole_ = false;
};

}  // namespace perchkin
