#include "gpu/frame_prepare.h"

#include <algorithm>
#include <cmath>

#include "gpu/overlay_2d.h"
#include "settings/settings.h"

namespace perchkin {

namespace {

int whole_pixels(double extent) {
  if (!std::isfinite(extent) || extent < 1.0) return 1;
  return static_cast<int>(std::min(extent, 1.0e6));
}

}  // namespace

PixelSize overlay_size(const ScreenRect& overlay) {
  return {whole_pixels(overlay.right - overlay.left), whole_pixels(overlay.bottom - overlay.top)};
}

PixelSize buffer_size(const PixelRect& buffer) {
  return {std::max(1, buffer.right - buffer.left), std::max(1, buffer.bottom - buffer.top)};
}

void prepare_frame(FrameState& state, const FrameInput& in, PreparedFrame& out) {
  static const Crew kNoCrew;
  static const RenderEntries kNoEntries;
  static const Scene kNoScene;
  static const Effects kNoEffects;
  static const Settings kDefaults;
  const Crew& crew = in.crew ? *in.crew : kNoCrew;
  const RenderEntries& entries = in.entries ? *in.entries : kNoEntries;
  const Scene& scene = in.scene ? *in.scene : kNoScene;
  const Effects& fx = in.effects ? *in.effects : kNoEffects;
  const Settings& settings = in.settings ? *in.settings : kDefaults;

  InstanceParams params;
  params.alpha = in.alpha;
  params.overlay_left = in.overlay.left;
  params.overlay_top = in.overlay.top;
  params.look = settings.look;
  build_instances(out.instances, crew, entries, params);

  out.activity = scene_activity(crew, entries, scene, fx, in.clock);
  out.activity.menu_open = static_cast<bool>(in.draw_menu);
  out.activity.selection = static_cast<bool>(in.draw_selection);
  text_marks(fx, in.ui_scale, out.text_marks);
  out.activity.text_changed = out.text_marks != state.text_marks;
  if (in.forced) state.forced_redraw = true;

  std::vector<BoxF> bubbles;
  bubble_dirty_boxes(in, bubbles);

  const PixelSize size = overlay_size(in.overlay);
  MarkInput mark_in;
  mark_in.overlay_width = size.width;
  mark_in.overlay_height = size.height;
  mark_in.overlay_left = in.overlay.left;
  mark_in.overlay_top = in.overlay.top;
  mark_in.box_cells = instance_box_cells(settings.look, !settings.custom_hat.empty(),
                                         !settings.custom_glasses.empty());
  mark_in.extra_boxes = bubbles;
  out.marks = mark_frame(mark_in, out.instances, crew, entries, fx, out.activity);
  out.plan = plan_frame(state, out.instances, out.marks, out.activity, settings.look);
}

void finish_prepared(FrameState& state, PreparedFrame& frame) {
  finish_frame(state, frame.plan, frame.instances, frame.marks);  // a copy: the grid is small
  state.text_marks.swap(frame.text_marks);
}

void widen_clears(const BackBufferHistory& history, FramePlan& plan) {
  const PixelSize size = buffer_size(plan.buffer);
  if (plan.clear_all || history.full_clears > 0 || !history.older) {
    plan.clear_all = true;
    plan.clears.assign(1, PixelRect{0, 0, size.width, size.height});
    return;
  }
  for (PixelRect r : rectangles(*history.older)) {
    r = {std::max(0, r.left - plan.buffer.left), std::max(0, r.top - plan.buffer.top),
         std::min(size.width, r.right - plan.buffer.left), std::min(size.height, r.bottom - plan.buffer.top)};
    if (r.left < r.right && r.top < r.bottom) plan.clears.push_back(r);
  }
}

void remember_presented(BackBufferHistory& history, const FrameState& state, const FramePlan& plan) {
  // The grid sizes differ after the overlay changed size; then the first frame clears whole.
  history.older = state.previous_grid;
  const bool fresh = plan.grid_rebuilt || plan.buffer_changed;  // not the widened clear_all
  history.full_clears = fresh ? 1 : std::max(0, history.full_clears - 1);
}

}  // namespace perchkin
