#include "gpu/frame_damage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "gpu/overlay_2d.h"
#include "gpu/overlay_detail.h"

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

double wide(float v) { return static_cast<double>(v); }

BoxF square(double cx, double cy, double half) { return {cx - half, cy - half, cx + half, cy + half}; }

// Everything a hazard draws, with room for its outline, bob and flicker (overlay pixels).
BoxF prop_box(const Prop& p, double left, double top, double s) {
  const double x = p.x - left, y = p.y - top, S = std::max(0.0, p.size);
  const double m = 8.0 + 8.0 * s;
  switch (p.kind) {
    case PropKind::cloud: return {x - 0.6 * S - m, y - 0.35 * S - m, x + 0.6 * S + m, y + 0.35 * S + m};
    case PropKind::fire: return {x - 0.55 * S - m, y - 0.2 * S - m, x + 0.55 * S + m, y + 0.2 * S + m};
    case PropKind::bolt: return {x - 0.35 * S - m, y - m, x + 0.45 * S + m, y + 1.65 * S + m};
    case PropKind::bomb: return {x - 0.45 * S - m, y - 0.7 * S - m, x + 0.45 * S + m, y + 0.45 * S + m};
    case PropKind::platform: {
      const double x2 = p.x2 - left, y2 = p.y2 - top;
      return {std::min(x, x2) - m, std::min(y, y2) - m - 8.0 * s, std::max(x, x2) + m,
              std::max(y, y2) + m};
    }
  }
  return {x - S - m, y - S - m, x + S + m, y + S + m};
}

BoxF instance_box(const BuddyInstance& b, double cells) {
  const double u = wide(b.unit);
  return square(wide(b.pos.x), wide(b.pos.y) - 5.0 * u, cells * u);
}

// What one buddy's picture covers. Custom wear images reach as far as their size and lift
// say, so they keep the plan's generous square; otherwise the sprite (squashed and turned), a
// built-in hat up to two rows above it, the glow around it and the shadow under it.
struct Reach {
  double cells = 24.0;  // the plan's square, for custom wear
  bool custom = false;
  bool hat = false;
  bool glow = false;
};

BoxF picture_box(const BuddyInstance& b, const Reach& reach) {
  if (reach.custom) return instance_box(b, reach.cells);
  const double u = std::fabs(wide(b.unit)), sy = wide(b.sy);
  const double sx = 1.0 + (1.0 - sy) * 0.8;
  const double c = std::fabs(std::cos(wide(b.angle))), s = std::fabs(std::sin(wide(b.angle)));
  // Half sides before turning, in cells: the glow's quad holds the sprite's.
  const double w = reach.glow ? 12.0 * sx : 8.0 * sx;
  const double h = reach.glow ? 9.0 * std::fabs(sy) : (reach.hat ? 7.0 : 5.0) * std::fabs(sy);
  const double hx = (c * w + s * h) * u, hy = (s * w + c * h) * u;
  const double x = wide(b.pos.x), y = wide(b.pos.y);
  const double cy = y - 5.0 * sy * u;
  const double shadow = std::fabs(wide(b.shadow));
  const double m = 2.0;  // antialiased edges of the wear and the glow's filtering
  return {std::min(x - hx, x - 7.5 * u * shadow) - m, cy - hy - m,
          std::max(x + hx, x + 7.5 * u * shadow) + m, std::max(cy + hy, y + 1.75 * u * shadow) + m};
}

bool same(const BuddyInstance& a, const BuddyInstance& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Buddies whose instance changed, where they were and where they are.
void changed_instances(std::span<const BuddyInstance> now, std::span<const BuddyInstance> before,
                       const Reach& reach, std::vector<BoxF>& out) {
  if (now.size() == before.size()) {
    for (std::size_t i = 0; i < now.size(); ++i)
      if (!same(now[i], before[i])) {
        out.push_back(picture_box(before[i], reach));
        out.push_back(picture_box(now[i], reach));
      }
    return;
  }
  for (const BuddyInstance& b : before) out.push_back(picture_box(b, reach));
  for (const BuddyInstance& b : now) out.push_back(picture_box(b, reach));
}

// Pass two draws dizzy stars and pencils from the buddy's clock and pencil, which move while
// the instance may stay the same.
void animated_wear(const FrameInput& in, double cells, std::vector<BoxF>& out) {
  for_each_dizzy_or_drawing(in, [&](const Buddy& b, const BuddyInstance& inst, bool, bool pencil) {
    out.push_back(instance_box(inst, cells));
    if (pencil) {
      const double u = wide(inst.unit);
      const double hx = wide(inst.pos.x) + (b.motion.facing < 0 ? -7.0 : 7.0) * u;
      const double hy = wide(inst.pos.y) - 6.0 * u;
      const double px = b.pencil.x - in.overlay.left, py = b.pencil.y - in.overlay.top;
      const double m = std::max(3.0, std::round(1.1 * u)) + 4.0;
      out.push_back({std::min(hx, px) - m, std::min(hy, py) - m, std::max(hx, px) + m,
                     std::max(hy, py) + m});
    }
  });
}

void moving_effects(const FrameInput& in, std::vector<BoxF>& out) {
  const Effects& fx = *in.effects;
  const double s = fx.scale;
  for (const Particle& p : fx.particles) {
    switch (p.kind) {
      case ParticleKind::heart:
      case ParticleKind::sparkle: out.push_back(square(wide(p.x), wide(p.y), 16.0 * s)); break;
      case ParticleKind::text: break;  // where their marks changed, added by narrow_clears
      default:
        out.push_back(square(wide(p.x), wide(p.y),
                             (1.0 + wide(p.grow)) * wide(std::max(p.width, p.height)) + 8.0 * s));
        break;
    }
  }
  for (const Ring& r : fx.rings)
    out.push_back(square(wide(r.x), wide(r.y), wide(r.radius) + wide(r.width) + 4.0));
  for (const Prop& p : fx.props) out.push_back(prop_box(p, in.overlay.left, in.overlay.top, in.ui_scale));
  for (const RenderEntry& e : in.entries->entries) {
    if (!e.burst) continue;
    const double u = e.burst->unit;
    out.push_back(square(e.x - in.overlay.left, e.y - 5.0 * u - in.overlay.top, 24.0 * u));
    for (const LoosePixel& p : e.burst->pixels) out.push_back(square(p.x, p.y, 2.0 * u));
  }
}

void moving_scene(const Scene& scene, std::vector<BoxF>& out) {
  // Text still being typed grows; the box it will fill is known.
  for (const TextDrawing& t : scene.texts) {
    if (t.typed) continue;
    const double w = t.box.width > 0.0 ? t.box.width : 0.7 * t.size * static_cast<double>(char_count(t.text));
    const double h = t.box.height > 0.0 ? t.box.height : 1.5 * t.size;
    const auto x = static_cast<double>(t.origin.x), y = static_cast<double>(t.origin.y);
    out.push_back({x - 8.0, y - 8.0, x + w + 8.0, y + h + 8.0});
  }
  // Lines still being drawn grow at the pencil.
  for (const auto& [id, d] : scene.drawings) {
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
    out.push_back({l - m, t - m, r + m, b + m});
  }
}

// A grid of square cells over the overlay, one byte each.
struct Cells {
  int size = kDamageCell;
  int width = 1, height = 1;
  int columns = 1, rows = 1;
  std::vector<std::uint8_t> on;

  Cells(int cell, int w, int h)
      : size(cell), width(std::max(1, w)), height(std::max(1, h)),
        columns((width + cell - 1) / cell), rows((height + cell - 1) / cell),
        on(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), 0) {}

  std::uint8_t& at(int c, int r) {
    return on[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(c)];
  }

  void mark(const BoxF& b) {
    if (!(std::isfinite(b.left) && std::isfinite(b.top) && std::isfinite(b.right) &&
          std::isfinite(b.bottom))) {
      std::fill(on.begin(), on.end(), 1);
      return;
    }
    if (b.right < 0.0 || b.bottom < 0.0 || b.left >= width || b.top >= height) return;
    const int c0 = static_cast<int>(std::max(b.left, 0.0)) / size;
    const int r0 = static_cast<int>(std::max(b.top, 0.0)) / size;
    const int c1 = std::min(static_cast<int>(std::min(b.right, 1.0e9)) / size, columns - 1);
    const int r1 = std::min(static_cast<int>(std::min(b.bottom, 1.0e9)) / size, rows - 1);
    for (int r = r0; r <= r1; ++r)
      std::memset(&at(c0, r), 1, static_cast<std::size_t>(c1 - c0 + 1));
  }

  // The same area in cells twice as large.
  Cells coarser() const {
    Cells out(size * 2, width, height);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c)
        if (on[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(c)])
          out.at(c / 2, r / 2) = 1;
    return out;
  }

  // Runs per row, merged down the rows when they span the same columns; empty when there
  // would be more than `most`.
  std::vector<PixelRect> runs(std::size_t most) const {
    std::vector<PixelRect> out;
    for (int r = 0; r < rows; ++r) {
      const std::uint8_t* line = on.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(columns);
      for (int c = 0; c < columns;) {
        if (!line[c]) {
          ++c;
          continue;
        }
        int end = c + 1;
        while (end < columns && line[end]) ++end;
        const PixelRect run{c * size, r * size, std::min(width, end * size),
                            std::min(height, (r + 1) * size)};
        c = end;
        const auto above = std::find_if(out.begin(), out.end(), [&](const PixelRect& o) {
          return o.left == run.left && o.right == run.right && o.bottom == run.top;
        });
        if (above != out.end()) {
          above->bottom = run.bottom;
        } else {
          out.push_back(run);
          if (out.size() > most) return {};
        }
      }
    }
    return out;
  }
};

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

std::optional<std::vector<BoxF>> damage_boxes(const FrameInput& in, const PreparedFrame& frame,
                                              std::span<const BuddyInstance> previous) {
  const SceneActivity& a = frame.activity;
  if (a.menu_open || a.selection || in.crew == nullptr || in.entries == nullptr ||
      in.effects == nullptr || in.scene == nullptr)
    return std::nullopt;
  const double cells =
      in.settings ? instance_box_cells(in.settings->look, !in.settings->custom_hat.empty(),
                                       !in.settings->custom_glasses.empty())
                  : 24.0;
  Reach reach;
  reach.cells = cells;
  reach.custom = in.custom_hat != nullptr || in.custom_glasses != nullptr ||
                 (in.settings && (!in.settings->custom_hat.empty() || !in.settings->custom_glasses.empty()));
  reach.hat = in.settings && in.settings->look.hat != 0;
  reach.glow = frame.plan.constants.glow > 0.0f;
  std::vector<BoxF> out;
  changed_instances(frame.instances, previous, reach, out);
  animated_wear(in, cells, out);
  moving_effects(in, out);
  moving_scene(*in.scene, out);
  bubble_dirty_boxes(in, out);
  return out;
}

std::vector<PixelRect> damage_rects(std::span<const BoxF> boxes, int width, int height,
                                    std::size_t most) {
  Cells cells(kDamageCell, width, height);
  for (const BoxF& b : boxes) cells.mark(b);
  for (;;) {
    std::vector<PixelRect> rects = cells.runs(std::max<std::size_t>(most, 1));
    if (!rects.empty() || std::find(cells.on.begin(), cells.on.end(), 1) == cells.on.end())
      return rects;
    if (cells.size >= kTileSize) break;
    cells = cells.coarser();
  }
  // Tiles scattered too widely for that many rectangles: the plan's reduction to a few.
  TileGrid grid = new_grid(width, height);
  for (int r = 0; r < cells.rows; ++r)
    for (int c = 0; c < cells.columns; ++c)
      if (cells.at(c, r))
        mark(grid, static_cast<float>(c * kTileSize), static_cast<float>(r * kTileSize),
             static_cast<float>(c * kTileSize), static_cast<float>(r * kTileSize));
  return rectangles(grid);
}

std::vector<PixelRect> without_overlaps(std::span<const PixelRect> rects) {
  const auto overlap = [](const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  };
  std::vector<PixelRect> out;
  for (const PixelRect& r : rects)
    if (r.left < r.right && r.top < r.bottom) out.push_back(r);
  // Joining two can make the box reach a third: repeat until none overlap (each join leaves one
  // rectangle fewer, so this ends).
  for (bool joined = true; joined;) {
    joined = false;
    for (std::size_t a = 0; a < out.size() && !joined; ++a)
      for (std::size_t b = a + 1; b < out.size(); ++b)
        if (overlap(out[a], out[b])) {
          out[a] = {std::min(out[a].left, out[b].left), std::min(out[a].top, out[b].top),
                    std::max(out[a].right, out[b].right), std::max(out[a].bottom, out[b].bottom)};
          out.erase(out.begin() + static_cast<std::ptrdiff_t>(b));
          joined = true;
          break;
        }
  }
  return out;
}

void narrow_clears(DamageState& damage, const FrameInput& in, const FrameState& state,
                   PreparedFrame& frame, std::size_t most) {
  const std::uint64_t signature = in.scene ? drawing_signature(*in.scene) : 0;
  const LookSettings look = in.settings ? in.settings->look : LookSettings{};
  const std::uint64_t hat = in.custom_hat ? in.custom_hat->id : 0;
  const std::uint64_t glasses = in.custom_glasses ? in.custom_glasses->id : 0;
  // Anything that changes every buddy's picture, or the finished drawings, redraws the whole.
  const bool same_picture = damage.previous && signature == damage.signature &&
                            look == damage.look && hat == damage.hat && glasses == damage.glasses &&
                            !in.forced;
  damage.signature = signature;
  damage.look = look;
  damage.hat = hat;
  damage.glasses = glasses;
  std::optional<std::vector<BoxF>> boxes = damage_boxes(in, frame, state.previous);
  FramePlan& plan = frame.plan;
  if (boxes && same_picture && !plan.clear_all && !plan.grid_rebuilt) {
    const PixelSize size = buffer_size(plan.buffer);
    const PixelSize overlay = overlay_size(in.overlay);
    std::vector<BoxF> both = *damage.previous;
    both.insert(both.end(), boxes->begin(), boxes->end());
    // Both where a text was and where it is now: not needed again next frame.
    changed_text_boxes(state.text_marks, frame.text_marks, both);
    plan.clears.clear();
    for (PixelRect r : damage_rects(both, overlay.width, overlay.height, most)) {
      r = {std::max(0, r.left - plan.buffer.left), std::max(0, r.top - plan.buffer.top),
           std::min(size.width, r.right - plan.buffer.left),
           std::min(size.height, r.bottom - plan.buffer.top)};
      if (r.left < r.right && r.top < r.bottom) plan.clears.push_back(r);
    }
  }
  damage.previous = std::move(boxes);
}

}  // namespace perchkin
