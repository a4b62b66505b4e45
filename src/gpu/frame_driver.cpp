#include "gpu/frame_driver.h"

#include "base/pace.h"

namespace perchkin {

FramePacing system_pacing() { return {monotonic_seconds, sleep_until}; }

void FramePacer::wait(double presented) {
  deadline_ = next_frame_deadline(deadline_, presented, kFramePeriod);
  pacing_.sleep_until(deadline_);
}

void FrameDriver::use(std::unique_ptr<Presenter> presenter, PresenterRecovery recovery) {
  presenter_ = std::move(presenter);
  recovery_ = std::move(recovery);
}

void FrameDriver::redraw_whole() {
  state_.forced_redraw = true;
  whole_ = true;
}

// A lost presenter takes this frame with it; the next one draws everything afresh.
Result<FrameResult> FrameDriver::recover() {
  presenter_.reset();
  const PresenterMaker& make =
      ++restarts_ <= recovery_.most_restarts ? recovery_.restart : recovery_.fallback;
  if (!make) return Result<FrameResult>::fail("the graphics were lost");
  auto next = make();
  if (!next.ok()) return Result<FrameResult>::fail(next.error);
  presenter_ = std::move(*next.value);
  buffer_ = {0, 0};
  last_buffer_ = PixelRect{};
  damage_ = DamageState{};
  history_ = BackBufferHistory{};
  state_.previous_grid.reset();
  state_.buffer.reset();
  state_.forced_redraw = true;
  return Result<FrameResult>::success(FrameResult{});
}

Result<FrameResult> FrameDriver::frame(const FrameInput& in) {
  if (!presenter_) return Result<FrameResult>::success(FrameResult{});
  // A buffer rectangle kept from another overlay size could lie outside this one.
  const PixelSize window = overlay_size(in.overlay);
  if (overlay_ && !(*overlay_ == window)) state_.buffer.reset();
  overlay_ = window;
  prepare_frame(state_, in, prepared_);
  FramePlan& plan = prepared_.plan;
  if (!plan.draw) return Result<FrameResult>::success(FrameResult{});

  // Only what the buffer does not still hold is redrawn.
  const int kept = presenter_->kept_age();
  if (kept == 1) narrow_clears(damage_, in, state_, prepared_, presenter_->most_rects());
  else if (kept == 2) widen_clears(history_, plan);

  const PixelSize size = buffer_size(plan.buffer);
  const bool resized = !(size == buffer_);
  if (resized) {
    if (Status s = presenter_->resize(size.width, size.height); !s.ok())
      return presenter_->lost() ? recover() : Result<FrameResult>(s);
    buffer_ = size;
  }
  const bool whole = kept == 0 || resized || plan.clear_all || plan.buffer_changed ||
                     !(plan.buffer == last_buffer_) || whole_;
  whole_ = false;
  last_buffer_ = plan.buffer;
  rects_.clear();
  if (whole) {
    rects_.push_back({0, 0, size.width, size.height});
  } else {
    for (const PixelRect& r : plan.clears)
      if (const PixelRect c = clip_to(r, size.width, size.height); !is_empty(c))
        rects_.push_back(c);
    // Each pixel is blended once: the layers and shadows are drawn "over" per rectangle.
    rects_ = without_overlaps(rects_);
  }

  FrameDraw f;
  f.in = &in;
  f.buffer = plan.buffer;
  f.rects = rects_;
  f.age = whole ? 0 : kept;
  f.constants = &plan.constants;
  if (plan.gpu_pass) f.instances = prepared_.instances;
  f.capacity = plan.capacity;
  f.present_interval = plan.present_interval;
  f.window = window;
  Status s = presenter_->begin(f);
  if (s.ok()) s = presenter_->layer(f, Layer::below);
  if (s.ok() && plan.gpu_pass) s = presenter_->buddies(f);
  if (s.ok()) s = presenter_->layer(f, Layer::above);
  const double before = pacer_.now();
  if (s.ok()) s = presenter_->present(f);
  if (presenter_->lost()) return recover();
  if (!s.ok()) return s;
  restarts_ = 0;
  // Pace drawn frames to the display rate; the wait counts as time spent presenting.
  if (!presenter_->present_waits()) pacer_.wait(before);
  FrameResult result;
  result.drawn = true;
  result.present_ms = (pacer_.now() - before) * 1000.0;
  if (kept == 2) remember_presented(history_, state_, plan);
  finish_prepared(state_, prepared_);
  return Result<FrameResult>::success(result);
}

}  // namespace perchkin
