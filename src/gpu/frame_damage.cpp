#include "gpu/frame_damage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "gpu/overlay_2d.h"

namespace perchkin {

namespace {

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h;
}

std::uint64_t bits(double v) {
  std::uint64_t out = 0;
  static_assert(sizeof out == sizeof v);
  std::memcpy(&out, &v, sizeof out);
  return out;
}

void mark_box(TileGrid& grid, double left, double top, double right, double bottom) {
  mark(grid, static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
       static_cast<float>(bottom));
}

// Everything a hazard draws, with room for its outline, bob and flicker (overlay pixels).
void mark_prop(TileGrid& grid, const Prop& p, double left, double top, double s) {
  const double x = p.x - left, y = p.y - top, S = std::max(0.0, p.size);
  const double m = 8.0 + 8.0 * s;
  switch (p.kind) {
    case PropKind::cloud: mark_box(grid, x - 0.6 * S - m, y - 0.35 * S - m, x + 0.6 * S + m, y + 0.35 * S + m); break;
    case PropKind::fire: mark_box(grid, x - 0.55 * S - m, y - 0.2 * S - m, x + 0.55 * S + m, y + 0.2 * S + m); break;
    case PropKind::bolt: mark_box(grid, x - 0.35 * S - m, y - m, x + 0.45 * S + m, y + 1.65 * S + m); break;
    case PropKind::bomb: mark_box(grid, x - 0.45 * S - m, y - 0.7 * S - m, x + 0.45 * S + m, y + 0.45 * S + m); break;
    case PropKind::platform: {
      const double x2 = p.x2 - left, y2 = p.y2 - top;
      mark_box(grid, std::min(x, x2) - m, std::min(y, y2) - m - 8.0 * s, std::max(x, x2) + m,
               std::max(y, y2) + m);
      break;
    }
  }
}

// More rectangles than the eight of the plan are cheap here (each is a scissor box), and the
// eight-rectangle reduction merges far-apart tiles into boxes of mostly clean pixels.
constexpr std::size_t kMaxDamageRects = 48;

// Runs of marked tiles per row, merged down the rows when they span the same columns; pixel
// rectangles clipped to the grid. Empty when there would be more than kMaxDamageRects.
std::vector<PixelRect> tile_runs(const TileGrid& g) {
  std::vector<PixelRect> out;
  for (int row = 0; row < g.rows; ++row) {
    int start = -1;
    for (int col = 0; col <= g.columns; ++col) {
      const bool on = col < g.columns && is_marked(g, col, row);
      if (on && start < 0) start = col;
      if (on || start < 0) continue;
      const PixelRect run{start * kTileSize, row * kTileSize, std::min(g.width, col * kTileSize),
                          std::min(g.height, (row + 1) * kTileSize)};
      start = -1;
      auto above = std::find_if(out.begin(), out.end(), [&](const PixelRect& o) {
        return o.left == run.left && o.right == run.right && o.bottom == run.top;
      });
      if (above != out.end()) {
        above->bottom = run.bottom;
      } else {
        out.push_back(run);
        if (out.size() > kMaxDamageRects) return {};
      }
    }
  }
  return out;
}

}  // namespace

std::uint64_t drawing_signature(const Scene& scene) {
  std::uint64_t h = mix(0, scene.order.size());
  for (std::uint64_t id : scene.order) {
    const auto it = scene.drawings.find(id);
    if (it == scene.drawings.end()) continue;
    const Drawing& d = it->second;
    h = mix(h, id);
    h = mix(h, d.version);
    h = mix(h, d.points.size());
    h = mix(h, d.finished ? 1 : 0);
  }
  h = mix(h, scene.texts.size());
  for (const TextDrawing& t : scene.texts) {
    h = mix(h, bits(t.start));
    h = mix(h, t.typed ? 1 : 0);
  }
  return h;
}

std::optional<TileGrid> damage_marks(const FrameInput& in, const PreparedFrame& frame) {
  const SceneActivity& a = frame.activity;
  if (!a.whole_overlay || a.menu_open || a.selection || in.crew == nullptr ||
      in.entries == nullptr || in.effects == nullptr || in.scene == nullptr)
    return std::nullopt;
  const PixelSize size = overlay_size(in.overlay);
  std::vector<BoxF> bubbles;
  bubble_dirty_boxes(in, bubbles);
  SceneActivity moving = a;
  moving.whole_overlay = false;
  MarkInput mark_in;
  mark_in.overlay_width = size.width;
  mark_in.overlay_height = size.height;
  mark_in.overlay_left = in.overlay.left;
  mark_in.overlay_top = in.overlay.top;
  if (in.settings)
    mark_in.box_cells = instance_box_cells(in.settings->look, !in.settings->custom_hat.empty(),
                                           !in.settings->custom_glasses.empty());
  mark_in.extra_boxes = bubbles;
  TileGrid grid = mark_frame(mark_in, frame.instances, *in.crew, *in.entries, *in.effects, moving);
  const double s = in.ui_scale;
  for (const Prop& p : in.effects->props) mark_prop(grid, p, in.overlay.left, in.overlay.top, s);
  // Text still being typed grows; the box it will fill is known.
  for (const TextDrawing& t : in.scene->texts) {
    if (t.typed) continue;
    const double w = t.box.width > 0.0 ? t.box.width : 0.7 * t.size * static_cast<double>(char_count(t.text));
    const double h = t.box.height > 0.0 ? t.box.height : 1.5 * t.size;
    const auto x = static_cast<double>(t.origin.x), y = static_cast<double>(t.origin.y);
    mark_box(grid, x - 8.0, y - 8.0, x + w + 8.0, y + h + 8.0);
  }
  // Lines still being drawn grow at the pencil.
  for (const auto& [id, d] : in.scene->drawings) {
    (void)id;
    if (d.finished || d.points.empty()) continue;
    double l = static_cast<double>(d.points[0].x), t = static_cast<double>(d.points[0].y);
    double r = l, b = t;
    for (const OverlayPoint& p : d.points) {
      l = std::min(l, static_cast<double>(p.x));
      r = std::max(r, static_cast<double>(p.x));
      t = std::min(t, static_cast<double>(p.y));
      b = std::max(b, static_cast<double>(p.y));
    }
    const double m = d.width + 4.0;  // round caps reach half the width beyond the points
    mark_box(grid, l - m, t - m, r + m, b + m);
  }
  return grid;
}

void narrow_clears(DamageState& state, const FrameInput& in, PreparedFrame& frame) {
  const std::uint64_t signature = in.scene ? drawing_signature(*in.scene) : 0;
  const bool same_drawings = state.has_signature && signature == state.signature;
  state.signature = signature;
  state.has_signature = true;
  std::optional<TileGrid> damage = damage_marks(in, frame);
  FramePlan& plan = frame.plan;
  if (damage && same_drawings && !plan.clear_all && state.previous) {
    const PixelSize size = buffer_size(plan.buffer);
    plan.clears.clear();
    const TileGrid both = unite(*damage, *state.previous);
    std::vector<PixelRect> rects = tile_runs(both);
    if (rects.empty()) rects = rectangles(both);
    for (PixelRect r : rects) {
      r = {std::max(0, r.left - plan.buffer.left), std::max(0, r.top - plan.buffer.top),
           std::min(size.width, r.right - plan.buffer.left),
           std::min(size.height, r.bottom - plan.buffer.top)};
      if (r.left < r.right && r.top < r.bottom) plan.clears.push_back(r);
    }
  }
  state.previous = damage ? std::move(*damage) : frame.marks;
}

}  // namespace perchkin
