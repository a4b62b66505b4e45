#include "scene/draw_command.h"

#include "base/args.h"
#include "base/command_table.h"
#include "logo/turtle_command.h"
#include "props/prop.h"
#include "scene/scene.h"
#include "base/text.h"
#include "base/vocabulary.h"
#include "shapes/shapes.h"
#include "shapes/style.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace perchkin {

namespace {

constexpr auto kMaxPoints = static_cast<std::size_t>(arg::draw_pts.max);
constexpr double kCoordLimit = 20000.0;

Result<DrawPlan> failure(std::string message) { return Result<DrawPlan>::fail(std::move(message)); }

std::string points_message(std::size_t min) {
  return "pts must be a list of " + std::to_string(min) + " to " + std::to_string(kMaxPoints) +
         " [x, y] pairs";
}

// "pts": a list of min..400 [x, y] pairs, each coordinate clamped to +-20000.
Result<PathPoints> read_points(const json& args, std::size_t min) {
  const json* pts = json_member(args, arg::draw_pts.name);
  if (pts == nullptr || !pts->is_array() || pts->size() < min || pts->size() > kMaxPoints) {
    return Result<PathPoints>::fail(points_message(min));
  }
  PathPoints out;
  out.reserve(pts->size());
  for (const json& p : *pts) {
    if (!p.is_array() || p.size() != 2) {
      return Result<PathPoints>::fail("each point must be [x, y]");
    }
    auto x = json_number(p[0]);
    if (!x) {
      return Result<PathPoints>::fail("x must be a number");
    }
    auto y = json_number(p[1]);
    if (!y) {
      return Result<PathPoints>::fail("y must be a number");
    }
    out.push_back({std::clamp(*x, -kCoordLimit, kCoordLimit),
                   std::clamp(*y, -kCoordLimit, kCoordLimit)});
  }
  return out;
}

std::vector<StrokePoint> stroke_points(const PathPoints& pts) {
  std::vector<StrokePoint> out;
  out.reserve(pts.size());
  for (const auto& p : pts) out.push_back({p.x, p.y});
  return out;
}

Stroke ink_stroke(std::vector<StrokePoint> pts, std::string colour, double width, double ttl) {
  Stroke s;
  s.points = std::move(pts);
  s.ink = true;
  s.colour = std::move(colour);
  s.width = width;
  s.ttl = ttl;
  return s;
}

Stroke travel_stroke(std::vector<StrokePoint> pts) {
  Stroke s;
  s.points = std::move(pts);
  s.ink = false;
  return s;
}

struct HazardLook {
  std::string_view kind;
  const char* colour;
  double ttl;
  double size;
};
constexpr std::array<HazardLook, 4> kHazards = {{
    {"fire", "#FF7A1A", 25.0, 70.0},
    {"cloud", "#9AA7B8", 12.0, 160.0},
    {"bolt", "#FFD23F", 1.6, 120.0},
    {"bomb", "#333333", 0.0, 50.0},
}};

// Resamples a closed polygon to n segments of equal length.
std::vector<StrokePoint> resample_closed(const std::vector<StrokePoint>& poly, int n) {
  std::vector<double> cumulative = {0.0};
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const StrokePoint& a = poly[i];
    const StrokePoint& b = poly[(i + 1) % poly.size()];
    cumulative.push_back(cumulative.back() + std::hypot(b.x - a.x, b.y - a.y));
  }
  const double total = cumulative.back();
  std::vector<StrokePoint> out;
  std::size_t seg = 0;
  for (int k = 0; k <= n; ++k) {
    const double at = total * k / n;
    while (seg + 1 < poly.size() && cumulative[seg + 1] < at) ++seg;
    const StrokePoint& a = poly[seg];
    const StrokePoint& b = poly[(seg + 1) % poly.size()];
    const double len = cumulative[seg + 1] - cumulative[seg];
    const double t = len > 0 ? (at - cumulative[seg]) / len : 0.0;
    out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
  }
  out.back() = out.front();
  return out;
}

const HazardLook* hazard_look(std::string_view kind) {
  for (const HazardLook& look : kHazards)
    if (look.kind == kind) return &look;
  return nullptr;
}

// The fewest points a kind is drawn from.
std::size_t least_points(std::string_view kind) {
  return hazard_look(kind) != nullptr || kind == "text" ? 1 : 2;
}

Result<DrawPlan> plan_hazard(const DrawRequest& r, const HazardLook& look, double scale) {
  const double hazard_ttl = r.ttl_given ? r.style.ttl : look.ttl;
  const double hazard_size = std::clamp(r.size.value_or(look.size), kMinPropSize, kMaxPropSize);
  const PathPoint at = r.points.front();
  DrawJob job;
  job.strokes.push_back(ink_stroke(hazard_outline(look.kind, at.x, at.y, hazard_size),
                                   look.colour, std::max(3.0 * scale, r.style.width * scale),
                                   0.25));
  PropPlacement place = default_placement(*parse_prop_kind(look.kind), at.x, at.y);
  place.size = hazard_size;
  place.ttl = hazard_ttl;
  job.end_event = place;
  DrawPlan plan;
  plan.job = std::move(job);
  plan.reply = "drawing " + std::string(look.kind);
  return plan;
}

Result<DrawPlan> plan_platform(const DrawRequest& r, const Buddy& b, double scale) {
  PathPoint a = r.points[0], c = r.points[1];
  if (c.x < a.x) std::swap(a, c);
  const double platform_ttl = r.ttl_given ? r.style.ttl : 30.0;
  DrawJob job;
  job.strokes.push_back(ink_stroke({{a.x, a.y}, {c.x, c.y}}, "#7A5230",
                                   std::max(3.0 * scale, r.style.width * scale), 0.05));
  job.strokes.push_back(travel_stroke(
      {{c.x, c.y}, {c.x - 14.0 * b.motion.unit, std::min(a.y, c.y) - 6.0 * b.motion.unit}}));
  PropPlacement place = default_placement(PropKind::platform, a.x, a.y);
  place.x2 = c.x;
  place.y2 = c.y;
  place.ttl = platform_ttl;
  job.end_event = place;
  DrawPlan plan;
  plan.job = std::move(job);
  plan.reply = "drawing platform";
  return plan;
}

Result<DrawPlan> plan_text(const DrawRequest& r, double scale) {
  const std::string& text = r.text;
  if (text.empty()) return failure("text needs some text");
  // A font size below one pixel would make an empty, zero-speed underline.
  const double fs = std::clamp(r.size.value_or(28.0), 1.0, 200.0) * scale;
  const auto n = static_cast<double>(char_count(text));
  const double duration = std::clamp(0.07 * n, 0.3, 6.0);
  const double length = std::max(0.55 * fs * n, 10.0);
  const PathPoint at = r.points.front();
  const DrawStyle& style = r.style;
  Stroke underline = travel_stroke({{at.x, at.y + 1.2 * fs}, {at.x + length, at.y + 1.2 * fs}});
  underline.fixed_speed = length / duration;
  TextEvent event;
  event.text = text;
  event.colour = style.color;
  event.size = fs;
  event.duration = duration;
  event.x = at.x;
  event.y = at.y;
  event.ttl = style.ttl;
  underline.start_event = std::move(event);
  DrawJob job;
  job.strokes.push_back(std::move(underline));
  DrawPlan plan;
  plan.job = std::move(job);
  plan.reply = "drawing text";
  return plan;
}

}  // namespace

std::vector<StrokePoint> hazard_outline(std::string_view kind, double x, double y, double s) {
  constexpr int kSegments = 72;
  std::vector<StrokePoint> pts;
  const double two_pi = 2.0 * std::numbers::pi;
  if (kind == "bolt") {
    // A zig-zag lightning bolt hanging from its top point.
    const std::vector<StrokePoint> poly = {
        {x - 0.10 * s, y},           {x + 0.25 * s, y},           {x + 0.05 * s, y + 0.40 * s},
        {x + 0.25 * s, y + 0.40 * s}, {x - 0.15 * s, y + 1.00 * s}, {x - 0.02 * s, y + 0.55 * s},
        {x - 0.22 * s, y + 0.55 * s}};
    return resample_closed(poly, kSegments);
  }
  for (int k = 0; k <= kSegments; ++k) {
    const double t = two_pi * k / kSegments;
    double px = x, py = y;
    if (kind == "fire") {
      // A flame standing on its base: round below, flickering tongues above.
      const double r = 0.32 * s * (1.0 + 0.22 * std::sin(5.0 * t) * std::max(0.0, -std::sin(t)));
      px = x + r * std::cos(t);
      py = y - 0.35 * s + r * std::sin(t) * (std::sin(t) < 0 ? 1.5 : 1.0);
    } else if (kind == "cloud") {
      // A puffy, flattened ring of bumps.
      const double r = 0.5 * s * (0.82 + 0.18 * std::abs(std::sin(3.5 * t)));
      px = x + r * std::cos(t);
      py = y + 0.6 * r * std::sin(t);
    } else {
      // The bomb: a round body with a small fuse cap on top.
      const double cap = std::exp(-std::pow((t - 1.5 * std::numbers::pi) / 0.25, 2.0));
      const double r = 0.4 * s * (1.0 + 0.15 * cap);
      px = x + r * std::cos(t);
      py = y + r * std::sin(t);
    }
    pts.push_back({px, py});
  }
  pts.back() = pts.front();
  return pts;
}

Result<DrawRequest> read_draw_request(const json& args) {
  DrawRequest r;
  if (const json* kind = json_member(args, arg::draw_kind.name); kind && kind->is_string())
    r.kind = kind->get<std::string>();
  if (!is_one_of(kDrawKinds, r.kind)) return Status::fail(choices_message(arg::draw_kind));
  if (r.kind == "clear") return r;
  DrawStyleResult style = read_draw_style(args);
  if (!style.ok()) return style.status();
  r.style = std::move(*style);
  r.ttl_given = json_member(args, arg::ttl.name) != nullptr;
  // Text is checked before its point, a platform's two ends before their numbers.
  if (r.kind == "text") {
    if (const json* t = json_member(args, arg::draw_text.name); t && t->is_string())
      r.text = first_chars(trim(t->get_ref<const std::string&>()),
                           static_cast<std::size_t>(arg::draw_text.max));
    if (r.text.empty()) return Status::fail("text needs some text");
  } else if (r.kind == "platform") {
    const json* pts = json_member(args, arg::draw_pts.name);
    if (pts == nullptr || !pts->is_array() || pts->size() != 2)
      return Status::fail("platform needs 2 points: its two ends");
  }
  Result<PathPoints> pts = read_points(args, least_points(r.kind));
  if (!pts.ok()) return pts.status();
  r.points = std::move(*pts);
  if (r.kind == "text" || hazard_look(r.kind) != nullptr) {
    const Result<std::optional<double>> size = optional_number_arg(args, arg::draw_size.name);
    if (!size.ok()) return size.status();
    r.size = *size;
  }
  return r;
}

Result<DrawPlan> plan_draw_request(const DrawRequest& r, const Buddy& b, double scale) {
  if (r.kind == "clear") {
    DrawPlan plan;
    plan.clear = true;
    plan.reply = "cleared";
    return plan;
  }
  // Requests made in code skip the reader; too few points must not reach the geometry.
  if (r.points.size() < least_points(r.kind) || (r.kind == "platform" && r.points.size() != 2))
    return failure(points_message(least_points(r.kind)));
  if (const HazardLook* look = hazard_look(r.kind)) return plan_hazard(r, *look, scale);
  if (r.kind == "platform") return plan_platform(r, b, scale);
  if (r.kind == "text") return plan_text(r, scale);

  ShapeResult shape = shape_points(r.kind, r.points);
  if (!shape.ok()) return failure(shape.error);
  DrawJob job;
  job.strokes.push_back(ink_stroke(stroke_points(*shape), r.style.color,
                                   r.style.width * scale, r.style.ttl));
  DrawPlan plan;
  plan.job = std::move(job);
  plan.reply = "drawing " + r.kind;
  return plan;
}

Result<DrawPlan> plan_draw(const json& args, const Buddy& b, double scale) {
  Result<DrawRequest> request = read_draw_request(args);
  if (!request.ok()) return request.status();
  return plan_draw_request(*request, b, scale);
}

Result<DrawPlan> plan_turtle(const json& args, const Buddy& b, double scale) {
  Result<logo::TurtleRequest> request = logo::read_turtle_request(args);
  if (!request.ok()) return request.status();
  return plan_turtle_request(*request, b, scale);
}

Result<DrawPlan> plan_turtle_request(const logo::TurtleRequest& request, const Buddy& b,
                                     double scale) {
  const StrokePoint home = pencil_home(b);
  auto result = logo::turtle_drawing(request, PathPoint{home.x, home.y - 60.0 * scale});
  if (!result.ok()) return failure(result.error);
  DrawJob job;
  for (auto& s : result->strokes) {
    if (s.pen)
      job.strokes.push_back(ink_stroke(stroke_points(s.points), s.color, s.width * scale,
                                       result->ttl));
    else
      job.strokes.push_back(travel_stroke(stroke_points(s.points)));
  }
  DrawPlan plan;
  plan.job = std::move(job);
  plan.reply = result->reply;
  return plan;
}

}  // namespace perchkin
