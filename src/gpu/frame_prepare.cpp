#include "gpu/frame_prepare.h"

#include <algorithm>
#include <cmath>

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

BoxF bubble_bound(const Buddy& b, double overlay_left, double overlay_top, double scale) {
  const double s = std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
  const double u = std::isfinite(b.unit) && b.unit > 0.0 ? b.unit : 1.0;
  const double x = b.x - overlay_left;
  const double y = b.y - overlay_top;
  // Box width at most 240 s of text plus padding; it is clamped to the screen but always spans
  // the anchor, so one box width either side holds it. Height: about twenty lines of text.
  const double half_w = (240.0 + 18.0 + 24.0) * s + 8.0;
  const double box_h = 400.0 * s;
  return {x - half_w, y - 12.0 * u - 8.0 * s - box_h - 24.0 * s, x + half_w,
          y + 2.0 * u + 8.0 * s + box_h + 24.0 * s};
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
  if (in.forced) state.forced_redraw = true;

  std::vector<BoxF> bubbles;
  for (const Buddy& b : crew.buddies)
    if (!b.bubble_text.empty() && b.bubble_until > in.clock)
      bubbles.push_back(bubble_bound(b, in.overlay.left, in.overlay.top, in.ui_scale));

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
}

}  // namespace perchkin
