// The shared pieces of the 2D overlay (text formats, pixel-map routines, the text layout
// service) and pass one: drawings, typed text, hazards, particles, rings and burst pixels.
#include "gpu/overlay_2d.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/text.h"
#include "gpu/overlay_detail.h"
#include "props/effects.h"
#include "scene/scene.h"

namespace perchkin {

namespace {

TextFormat format(const char* family, double size, int weight, TextAlign align) {
  TextFormat f;
  f.family = family;
  f.size = static_cast<float>(size);
  f.weight = weight;
  f.horizontal = align;
  f.vertical = align;
  return f;
}

// Typed text is laid out at most this wide; longer lines wrap.
constexpr float kDrawingTextWidth = 2000.0f;

void draw_drawings(Canvas& canvas, const Scene& scene, std::size_t first, std::size_t last,
                   std::vector<CanvasPoint>& points) {
  last = std::min(last, scene.order.size());
  for (std::size_t i = first; i < last; ++i) {
    const auto it = scene.drawings.find(scene.order[i]);
    if (it == scene.drawings.end() || it->second.points.size() < 2) continue;
    const Drawing& d = it->second;
    points.clear();
    for (const OverlayPoint& p : d.points) points.push_back({p.x, p.y});
    canvas.polyline(points, canvas_color(d.color), static_cast<float>(std::max(d.width, 1.0)));
  }
}

void draw_typed_texts(Canvas& canvas, const Scene& scene, double now) {
  for (const TextDrawing& t : scene.texts) {
    const std::size_t len = char_count(t.text);
    if (len == 0) continue;
    const double progress =
        t.duration > 0.0 ? std::clamp((now - t.start) / t.duration, 0.0, 1.0) : 1.0;
    const auto n = std::max<std::size_t>(
        1, static_cast<std::size_t>(std::round(static_cast<double>(len) * progress)));
    const auto layout = canvas.layout_text(first_chars(t.text, n), drawing_format(t.size),
                                           kDrawingTextWidth, kDrawingTextWidth);
    if (layout) canvas.draw_text(*layout, {t.origin.x, t.origin.y}, canvas_color(t.color));
  }
}

void draw_cloud(Canvas& canvas, float x, float y, float S, double a, double s) {
  const float b = static_cast<float>(std::sin(1.5 * a) * 3.0 * s);
  struct Puff {
    float dx, dy, rx, ry;
  };
  const Puff puffs[] = {{0.0f, 0.08f, 0.36f, 0.252f},
                        {-0.34f, 0.04f, 0.26f, 0.182f},
                        {-0.12f, -0.1f, 0.3f, 0.21f},
                        {0.14f, -0.06f, 0.28f, 0.196f},
                        {0.36f, 0.05f, 0.22f, 0.154f}};
  const auto outline = static_cast<float>(std::max(1.0, std::round(2.0 * s)));
  // Outlines first, then fills over them: only the cloud's outer edge stays.
  for (const Puff& p : puffs)
    canvas.stroke_ellipse({x + p.dx * S, y + b + p.dy * S}, p.rx * S, p.ry * S,
                          canvas_rgb(kCloudEdgeRgb), outline);
  for (const Puff& p : puffs)
    canvas.fill_ellipse({x + p.dx * S, y + b + p.dy * S}, p.rx * S, p.ry * S,
                        canvas_rgb(kCloudFillRgb));
}

void draw_fire(Canvas& canvas, float x, float y, float S, double a) {
  const auto k = static_cast<float>(1.0 + 0.12 * std::sin(23.0 * a) + 0.08 * std::sin(37.0 * a));
  const float h = 0.16f * S;
  const CanvasPoint centre{x, y - 0.2f * h};
  canvas.fill_ellipse(centre, 0.42f * S * k, 0.8f * h, canvas_rgb(0xFF7A1A));
  canvas.fill_ellipse(centre, 0.55f * 0.42f * S * k, 0.5f * h, canvas_rgb(0xFFE45C));
}

void draw_bolt(Canvas& canvas, float x, float y, float S, double a, double s) {
  if (!bolt_visible(a)) return;
  CanvasPath path;
  path.move_to({x + 0.05f * S, y})
      .line_to({x - 0.3f * S, y + 0.75f * S})
      .line_to({x + 0.02f * S, y + 0.72f * S})
      .line_to({x - 0.22f * S, y + 1.6f * S})
      .line_to({x + 0.38f * S, y + 0.6f * S})
      .line_to({x + 0.06f * S, y + 0.62f * S})
      .line_to({x + 0.3f * S, y})
      .close();
  const bool pale = static_cast<long long>(std::floor(20.0 * a)) % 2 != 0;
  canvas.fill_path(path, canvas_rgb(pale ? 0xFFF6A8 : 0xFFD23F));
  canvas.stroke_path(path, canvas_rgb(0xFFFFFF), static_cast<float>(std::max(1.0, 1.5 * s)));
}

void draw_bomb(Canvas& canvas, const Prop& p, float x, float y, double now, double s) {
  const auto S = static_cast<float>(p.size);
  const float r = 0.4f * S;
  const auto f = static_cast<float>(bomb_fuse(p, now));
  CanvasPath fuse;
  const CanvasPoint tip{x + 0.3f * S * f, y - r - 0.22f * S * f};
  fuse.move_to({x, y - r}).line_to({x + 0.12f * S * f, y - r - 0.18f * S * f}).line_to(tip);
  canvas.stroke_path(fuse, canvas_rgb(0x8B5A2B), static_cast<float>(std::max(2.0, 3.0 * s)));
  canvas.fill_ellipse({x, y}, r, r, canvas_rgb(bomb_blinks(p, now) ? 0xC0392B : 0x222222));
  canvas.fill_ellipse({x - 0.375f * r, y - 0.425f * r}, 0.175f * r, 0.175f * r,
                      canvas_rgb(0x6A6A6A));
  draw_single_map(canvas, star_map(), tip, map_cell(s), canvas_rgb(kStarRgb));
}

void draw_ledge(Canvas& canvas, CanvasPoint a, CanvasPoint b, double s) {
  const double width = std::max(5.0, std::round(7.0 * s));
  canvas.line(a, b, canvas_rgb(0x7A5230), static_cast<float>(width));
  const auto up = static_cast<float>(width / 3.0);
  canvas.line({a.x, a.y - up}, {b.x, b.y - up}, canvas_rgb(0xB07A47),
              static_cast<float>(std::max(2.0, std::round(width / 3.0))));
}

void draw_props(Canvas& canvas, const Effects& fx, const FrameInput& in) {
  const double now = in.clock, s = in.ui_scale;
  for (const Prop& p : fx.props) {
    const auto x = static_cast<float>(p.x - in.overlay.left);
    const auto y = static_cast<float>(p.y - in.overlay.top);
    const auto S = static_cast<float>(p.size);
    const double a = now - p.placed_at;
    switch (p.kind) {
      case PropKind::cloud: draw_cloud(canvas, x, y, S, a, s); break;
      case PropKind::fire: draw_fire(canvas, x, y, S, a); break;
      case PropKind::bolt: draw_bolt(canvas, x, y, S, a, s); break;
      case PropKind::bomb: draw_bomb(canvas, p, x, y, now, s); break;
      case PropKind::platform:
        draw_ledge(canvas, {x, y},
                   {static_cast<float>(p.x2 - in.overlay.left),
                    static_cast<float>(p.y2 - in.overlay.top)},
                   s);
        break;
    }
  }
}

void draw_particles(Canvas& canvas, const Effects& fx, double s, TextFormats& formats) {
  const float cell = map_cell(s);
  const auto half = static_cast<float>(kTextParticleHalf * s);
  for (const Particle& p : fx.particles) {
    switch (p.kind) {
      case ParticleKind::rect: {
        const ParticleSize sz = particle_size(p);
        canvas.fill_rect({p.x - sz.w, p.y - sz.h, p.x + sz.w, p.y + sz.h}, canvas_color(p.color));
        break;
      }
      case ParticleKind::dot: {
        const ParticleSize sz = particle_size(p);
        canvas.fill_ellipse({p.x, p.y}, sz.w, sz.h, canvas_color(p.color));
        if (p.outline) canvas.stroke_ellipse({p.x, p.y}, sz.w, sz.h, canvas_color(*p.outline), 1.0f);
        break;
      }
      case ParticleKind::heart:
        draw_single_map(canvas, heart_map(), {p.x, p.y}, cell, canvas_rgb(kHeartRgb));
        break;
      case ParticleKind::sparkle:
        draw_single_map(canvas, star_map(), {p.x, p.y}, cell, canvas_rgb(kStarRgb));
        break;
      case ParticleKind::text: {
        const TextFormat& f = p.style == TextStyle::symbol  ? formats.symbol
                              : p.style == TextStyle::label ? formats.label
                                                            : formats.shout;
        // At whole pixels, like every other position drawn: the text then looks the same from
        // frame to frame and the canvas can reuse its rasterised glyphs.
        const auto layout = canvas.layout_text(p.text, f, 2 * half, 2 * half);
        if (layout)
          canvas.draw_text(*layout, {std::round(p.x - half), std::round(p.y - half)},
                           canvas_color(p.color));
        break;
      }
    }
  }
}

}  // namespace

TextFormat bubble_format(double s) { return format("Segoe UI", 13.5 * s, 400, TextAlign::leading); }
TextFormat symbol_format(double s) {
  return format("Segoe UI Symbol", 18.0 * s, 700, TextAlign::centre);
}
TextFormat label_format(double s) { return format("Segoe UI", 16.0 * s, 700, TextAlign::centre); }
TextFormat shout_format(double s) { return format("Impact", 48.0 * s, 400, TextAlign::centre); }
TextFormat small_format(double s) { return format("Segoe UI", 11.0 * s, 600, TextAlign::centre); }
TextFormat drawing_format(double size) {
  return format("Segoe Print", size, 700, TextAlign::leading);
}

float map_cell(double s) { return static_cast<float>(std::max(1.0, std::round(2.0 * s))); }

bool bolt_visible(double age) {
  return age < 0.3 || std::sin(47.0 * age) + std::sin(91.0 * age) > -0.8;
}

double bomb_fuse(const Prop& bomb, double now) {
  return bomb.lit() ? std::max(0.05, 1.0 - (now - bomb.lit_at) / 3.0) : 1.0;
}

bool bomb_blinks(const Prop& bomb, double now) {
  if (!bomb.lit() || now - bomb.lit_at <= 2.0) return false;
  const double eighths = std::floor(8.0 * now);
  return std::isfinite(eighths) && std::fmod(std::fabs(eighths), 2.0) == 1.0;
}

ParticleSize particle_size(const Particle& p) {
  const float f = p.lifetime > 0.0f ? p.age / p.lifetime : 1.0f;
  const float scale = p.shrink ? std::max(0.0f, 1.0f - f) : 1.0f + f * p.grow;
  float w = p.width / 2.0f * scale;
  if (p.spin != 0.0f) w *= std::fabs(std::cos(p.age * p.spin + p.phase)) * 0.8f + 0.2f;
  return {w, p.height / 2.0f * scale};
}

void draw_wear_map(Canvas& canvas, const PixelMap& map, CanvasPoint origin, float cell_w,
                   float cell_h) {
  for (int row = 0; row < map.height(); ++row) {
    const std::string_view cells = map.rows[static_cast<std::size_t>(row)];
    for (std::size_t col = 0; col < cells.size();) {
      const char letter = cells[col];
      std::size_t end = col + 1;
      while (end < cells.size() && cells[end] == letter) ++end;
      if (letter != '.') {
        const float top = origin.y + static_cast<float>(row) * cell_h;
        canvas.fill_rect({origin.x + static_cast<float>(col) * cell_w, top,
                          origin.x + static_cast<float>(end) * cell_w, top + cell_h},
                         canvas_rgb(wear_colour(letter)));
      }
      col = end;
    }
  }
}

void draw_single_map(Canvas& canvas, const PixelMap& map, CanvasPoint centre, float cell,
                     CanvasColor colour) {
  const float left = centre.x - static_cast<float>(map.width()) * cell / 2.0f;
  const float top = centre.y - static_cast<float>(map.height()) * cell / 2.0f;
  for (int row = 0; row < map.height(); ++row) {
    const std::string_view cells = map.rows[static_cast<std::size_t>(row)];
    for (std::size_t col = 0; col < cells.size();) {
      if (cells[col] == '.') {
        ++col;
        continue;
      }
      std::size_t end = col + 1;
      while (end < cells.size() && cells[end] != '.') ++end;
      const float y = top + static_cast<float>(row) * cell;
      canvas.fill_rect({left + static_cast<float>(col) * cell, y,
                        left + static_cast<float>(end) * cell, y + cell},
                       colour);
      col = end;
    }
  }
}

std::size_t finished_prefix(const Scene& scene) {
  std::size_t n = 0;
  for (std::uint64_t id : scene.order) {
    const auto it = scene.drawings.find(id);
    if (it != scene.drawings.end() && !it->second.finished) break;
    ++n;
  }
  return n;
}

void draw_drawings(Canvas& canvas, const Scene& scene, std::size_t first, std::size_t last) {
  std::vector<CanvasPoint> points;
  draw_drawings(canvas, scene, first, last, points);
}

void draw_pass_one(Canvas& canvas, const FrameInput& in, std::size_t skip_drawings) {
  TextFormats formats(in.ui_scale);
  if (in.scene) {
    std::vector<CanvasPoint> points;
    draw_drawings(canvas, *in.scene, skip_drawings, in.scene->order.size(), points);
    draw_typed_texts(canvas, *in.scene, in.clock);
  }
  if (in.effects) {
    draw_props(canvas, *in.effects, in);
    draw_particles(canvas, *in.effects, in.ui_scale, formats);
    for (const Ring& r : in.effects->rings)
      canvas.stroke_ellipse({r.x, r.y}, r.radius, 0.6f * r.radius, canvas_color(r.color), r.width);
  }
  if (in.entries) {
    for (const RenderEntry& e : in.entries->entries) {
      if (!e.burst) continue;
      const auto unit = static_cast<float>(e.burst->unit);
      for (const LoosePixel& px : e.burst->pixels) {
        const auto x = static_cast<float>(px.x), y = static_cast<float>(px.y);
        canvas.fill_rect({x, y, x + unit, y + unit}, canvas_color(px.color));
      }
    }
  }
}

std::optional<TextBox> CanvasTextLayout::layout(std::string_view text, double size) {
  const auto laid = canvas_->layout_text(text, drawing_format(size), kDrawingTextWidth,
                                         kDrawingTextWidth);
  if (!laid) return std::nullopt;
  return TextBox{static_cast<double>(laid->size().width), static_cast<double>(laid->size().height)};
}

}  // namespace perchkin
