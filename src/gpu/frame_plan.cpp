// Frame decisions: skip or draw, dirty tiles, the buffer rectangle, clears and constants.
#include "gpu/frame_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "base/text.h"

namespace perchkin {

namespace {

void mark_square(TileGrid& grid, double cx, double cy, double half) {
  mark(grid, static_cast<float>(cx - half), static_cast<float>(cy - half),
       static_cast<float>(cx + half), static_cast<float>(cy + half));
}

double wide(float v) { return static_cast<double>(v); }

std::int32_t floor_to(std::int32_t v, std::int32_t step) {
  return v >= 0 ? v / step * step : -((-v + step - 1) / step) * step;
}

}  // namespace

SceneActivity scene_activity(const Crew& crew, const RenderEntries& re, const Scene& scene,
                             const Effects& fx, double now) {
  SceneActivity a;
  bool finished = false;
  for (const auto& [id, d] : scene.drawings) {
    (void)id;
    (d.finished ? finished : a.drawings_in_flight) = true;
  }
  for (const TextDrawing& t : scene.texts)
    if (!t.typed) a.drawings_in_flight = true;
  a.whole_overlay = finished || !scene.texts.empty() || !fx.props.empty();
  a.particles = std::any_of(fx.particles.begin(), fx.particles.end(),
                            [](const Particle& p) { return p.kind != ParticleKind::text; });
  a.pending_effects =
      !fx.rings.empty() || !fx.bursts.empty() || !fx.entries.empty() || fx.snow_until > now;
  for (const Buddy& b : crew.buddies) {
    a.bubbles = a.bubbles || (!b.speech.bubble_text.empty() && b.speech.bubble_until > now);
    // The stars circle by the buddy's clock while its picture may stay the same.
    a.animated_wear = a.animated_wear ||
                      (b.motion.mode == BuddyMode::act && b.mind.act == Act::dizzy) ||
                      (b.motion.mode == BuddyMode::drawing && b.pencil.out);
    if (a.bubbles && a.animated_wear) break;
  }
  for (const RenderEntry& e : re.entries)
    if (e.burst) {
      a.bursts = true;
      break;
    }
  return a;
}

double instance_box_cells(const LookSettings& look, bool custom_hat, bool custom_glasses) {
  if (custom_hat || custom_glasses) {
    const double lift = std::max(std::abs(look.hat_lift), std::abs(look.glasses_lift));
    const double size = std::max(look.hat_size, look.glasses_size);
    return lift + 24.0 * size + 24.0;
  }
  return look.hat != 0 ? 30.0 : 24.0;
}

void mark_instances(TileGrid& grid, std::span<const BuddyInstance> instances, double box_cells) {
  for (const BuddyInstance& in : instances) {
    const double u = wide(in.unit);
    mark_square(grid, wide(in.pos.x), wide(in.pos.y) - 5.0 * u, box_cells * u);
  }
}

void mark_bursts(TileGrid& grid, const Crew& crew, const RenderEntries& re, double overlay_left,
                 double overlay_top) {
  (void)crew;
  for (const RenderEntry& e : re.entries) {
    if (!e.burst) continue;
    const double u = e.burst->unit;
    mark_square(grid, e.x - overlay_left, e.y - 5.0 * u - overlay_top, 24.0 * u);
    for (const LoosePixel& p : e.burst->pixels) mark_square(grid, p.x, p.y, 2.0 * u);
  }
}

void text_marks(const Effects& fx, double ui_scale, std::vector<TextMark>& out) {
  out.clear();
  // Placed exactly as the overlay draws them.
  const auto half = static_cast<float>(kTextParticleHalf * ui_scale);
  for (const Particle& p : fx.particles) {
    if (p.kind != ParticleKind::text) continue;
    const float x = std::round(p.x - half), y = std::round(p.y - half);
    if (!(std::abs(x) < 1.0e9f && std::abs(y) < 1.0e9f)) continue;  // drawn nowhere
    out.push_back(TextMark{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                           p.color, static_cast<std::uint8_t>(p.style), p.text, text_particle_box(p, fx.scale)});
  }
  std::sort(out.begin(), out.end());
}

void changed_text_boxes(std::span<const TextMark> before, std::span<const TextMark> now,
                        std::vector<BoxF>& out) {
  auto a = before.begin(), b = now.begin();
  while (a != before.end() || b != now.end()) {
    if (b == now.end() || (a != before.end() && *a < *b)) {
      out.push_back((a++)->box);
    } else if (a == before.end() || *b < *a) {
      out.push_back((b++)->box);
    } else {
      ++a;
      ++b;
    }
  }
}

BoxF text_particle_box(const Particle& p, double s) {
  const double x = wide(p.x), y = wide(p.y);
  const double whole = kTextParticleHalf * s;
  // Font sizes of the symbol, label and shout formats.
  const double em = (p.style == TextStyle::symbol  ? 18.0
                     : p.style == TextStyle::label ? 16.0
                                                   : 48.0) * s;
  const auto chars = static_cast<double>(char_count(p.text));
  // No glyph advances more than 1.5 em; a text that might wrap, or has lines of its own, can
  // fill its whole box.
  const double width = 1.5 * em * chars;
  if (!(width <= 2.0 * whole) || p.text.find('\n') != std::string::npos)
    return {x - whole, y - whole, x + whole, y + whole};
  // Ink may overhang its advances a little and the line box is about 1.4 em tall; 3 px more
  // for antialiasing and for drawing at the nearest whole pixel.
  const double half_w = std::min(whole, width / 2.0 + 0.25 * em + 3.0);
  const double half_h = std::min(whole, em + 3.0);
  return {x - half_w, y - half_h, x + half_w, y + half_h};
}

void mark_effects(TileGrid& grid, const Effects& fx) {
  const double s = fx.scale;
  for (const Particle& p : fx.particles) {
    double half = 0.0;
    switch (p.kind) {
      case ParticleKind::heart:
      case ParticleKind::sparkle: half = 16.0 * s; break;
      case ParticleKind::text: {
        const BoxF box = text_particle_box(p, s);
        mark(grid, static_cast<float>(box.left), static_cast<float>(box.top),
             static_cast<float>(box.right), static_cast<float>(box.bottom));
        continue;
      }
      default:
        half = (1.0 + wide(p.grow)) * wide(std::max(p.width, p.height)) + 8.0 * s;
        break;
    }
    mark_square(grid, wide(p.x), wide(p.y), half);
  }
  for (const Ring& r : fx.rings)
    mark_square(grid, wide(r.x), wide(r.y), wide(r.radius) + wide(r.width) + 4.0);
}

TileGrid mark_frame(const MarkInput& in, std::span<const BuddyInstance> instances,
                    const Crew& crew, const RenderEntries& re, const Effects& fx,
                    const SceneActivity& activity) {
  TileGrid grid = new_grid(in.overlay_width, in.overlay_height);
  if (activity.whole_overlay || activity.menu_open || activity.selection) {
    mark_all(grid);
    return grid;
  }
  mark_instances(grid, instances, in.box_cells);
  mark_bursts(grid, crew, re, in.overlay_left, in.overlay_top);
  mark_effects(grid, fx);
  for (const BoxF& b : in.extra_boxes)
    mark(grid, static_cast<float>(b.left), static_cast<float>(b.top), static_cast<float>(b.right),
         static_cast<float>(b.bottom));
  return grid;
}

bool must_draw(const FrameState& state, std::span<const BuddyInstance> instances,
               const SceneActivity& activity, const TileGrid& marks) {
  if (!state.previous_grid) return true;
  if (state.previous_grid->width != marks.width || state.previous_grid->height != marks.height)
    return true;
  if (!same_instances(instances, state.previous)) return true;
  if (activity.moving() || activity.text_changed || activity.menu_open || activity.selection)
    return true;
  return state.forced_redraw || state.moving_2d;
}

std::optional<PixelRect> tight_box(const TileGrid& marks) {
  int c0 = marks.columns, c1 = -1, r0 = marks.rows, r1 = -1;
  for (int r = 0; r < marks.rows; ++r)
    for (int c = 0; c < marks.columns; ++c)
      if (marks.tiles[static_cast<std::size_t>(r) * static_cast<std::size_t>(marks.columns) +
                      static_cast<std::size_t>(c)] != 0) {
        c0 = std::min(c0, c);
        c1 = std::max(c1, c);
        r0 = std::min(r0, r);
        r1 = std::max(r1, r);
      }
  if (c1 < 0) return std::nullopt;
  return PixelRect{c0 * kTileSize, r0 * kTileSize, std::min(marks.width, (c1 + 1) * kTileSize),
                   std::min(marks.height, (r1 + 1) * kTileSize)};
}

PixelRect wanted_rect(const PixelRect& tight, int overlay_width, int overlay_height) {
  // A tile of margin, on a 256-pixel lattice, so small moves do not change the buffer.
  return {floor_to(std::max(0, tight.left - 128), 256), floor_to(std::max(0, tight.top - 128), 256),
          std::min(overlay_width, floor_to(tight.right + 383, 256)),
          std::min(overlay_height, floor_to(tight.bottom + 383, 256))};
}

void update_buffer_rect(FrameState& state, const TileGrid& marks) {
  const std::optional<PixelRect> tight = tight_box(marks);
  if (!tight) return;
  const PixelRect wanted = wanted_rect(*tight, marks.width, marks.height);
  if (!state.buffer) {
    state.buffer = wanted;
    state.shrink_count = 0;
    return;
  }
  const PixelRect current = *state.buffer;
  if (!inside(*tight, current)) {
    const PixelRect both = bounding_box(current, wanted);
    state.buffer = area(both) > 3 * area(wanted) ? wanted : both;
    state.shrink_count = 0;
  } else if (area(current) > 3 * area(wanted)) {
    if (++state.shrink_count >= kShrinkFrames) {
      state.buffer = wanted;
      state.shrink_count = 0;
    }
  } else {
    state.shrink_count = 0;
  }
}

FramePlan plan_frame(FrameState& state, std::span<const BuddyInstance> instances,
                     const TileGrid& marks, const SceneActivity& activity, const LookSettings& look) {
  FramePlan plan;
  plan.draw = must_draw(state, instances, activity, marks);
  if (!plan.draw) return plan;
  plan.gpu_pass = !instances.empty();
  plan.moving_2d = activity.moving();
  plan.grid_rebuilt = !state.previous_grid || state.previous_grid->width != marks.width ||
                      state.previous_grid->height != marks.height;
  plan.present_interval = plan.grid_rebuilt ? 0 : 1;

  const std::optional<PixelRect> before = state.buffer;
  if (!plan.grid_rebuilt) update_buffer_rect(state, marks);
  plan.buffer = state.buffer.value_or(PixelRect{0, 0, marks.width, marks.height});
  plan.buffer_changed = state.buffer != before;

  const int bw = std::max(1, plan.buffer.right - plan.buffer.left);
  const int bh = std::max(1, plan.buffer.bottom - plan.buffer.top);
  // A moved or resized buffer holds pixels drawn for another place; clearing only the dirty
  // tiles would leave them showing, shifted.
  plan.clear_all = plan.grid_rebuilt || plan.buffer_changed;
  if (plan.clear_all) {
    plan.clears.push_back({0, 0, bw, bh});
  } else {
    for (PixelRect r : rectangles(unite(marks, *state.previous_grid))) {
      r = {std::max(0, r.left - plan.buffer.left), std::max(0, r.top - plan.buffer.top),
           std::min(bw, r.right - plan.buffer.left), std::min(bh, r.bottom - plan.buffer.top)};
      if (r.left < r.right && r.top < r.bottom) plan.clears.push_back(r);
    }
  }

  plan.constants.screen = {static_cast<float>(bw), static_cast<float>(bh)};
  const bool glow = look.glow && std::isfinite(look.glow_power) && look.glow_power > 0.0;
  plan.constants.glow = glow ? static_cast<float>(look.glow_power) : 0.0f;
  plan.constants.origin = {static_cast<float>(plan.buffer.left), static_cast<float>(plan.buffer.top)};

  const std::size_t capacity = instance_capacity(state.capacity, instances.size());
  plan.capacity_grew = capacity != state.capacity;
  plan.capacity = state.capacity = capacity;
  return plan;
}

void finish_frame(FrameState& state, const FramePlan& plan, std::vector<BuddyInstance>& instances,
                  TileGrid marks) {
  state.previous.swap(instances);
  state.previous_grid = std::move(marks);
  state.moving_2d = plan.moving_2d;
  state.forced_redraw = false;
}

}  // namespace perchkin
