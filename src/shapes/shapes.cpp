#include "shapes/shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace perchkin {

namespace {

constexpr double kPi = std::numbers::pi;

struct Box {
  double cx, cy, a, b;
};

Box box_of(const PathPoint& p1, const PathPoint& p2) {
  return {(p1.x + p2.x) / 2.0, (p1.y + p2.y) / 2.0, std::abs(p2.x - p1.x) / 2.0,
          std::abs(p2.y - p1.y) / 2.0};
}

PathPoints rect_points(const PathPoint& p1, const PathPoint& p2) {
  return {{p1.x, p1.y}, {p2.x, p1.y}, {p2.x, p2.y}, {p1.x, p2.y}, {p1.x, p1.y}};
}

PathPoints ellipse_points(const Box& box) {
  PathPoints out;
  out.reserve(49);
  for (int k = 0; k < 48; ++k) {
    const double t = 2.0 * kPi * k / 48.0;
    out.push_back({box.cx + box.a * std::cos(t), box.cy + box.b * std::sin(t)});
  }
  out.push_back({box.cx + box.a, box.cy});
  return out;
}

ShapeResult arrow_points(const PathPoint& p1, const PathPoint& p2) {
  const double length = std::hypot(p2.x - p1.x, p2.y - p1.y);
  if (length < 1.0) return ShapeResult::fail("arrow needs two different points");
  const double theta = std::atan2(p2.y - p1.y, p2.x - p1.x);
  const double head = std::min(0.3 * length, 40.0);
  return PathPoints{p1,
                    p2,
                    {p2.x - head * std::cos(theta - 0.45), p2.y - head * std::sin(theta - 0.45)},
                    p2,
                    {p2.x - head * std::cos(theta + 0.45), p2.y - head * std::sin(theta + 0.45)}};
}

PathPoints heart_points(const Box& box) {
  PathPoints out;
  out.reserve(65);
  for (int k = 0; k < 64; ++k) {
    const double t = 2.0 * kPi * k / 64.0;
    const double s = std::sin(t);
    const double x = 16.0 * s * s * s / 17.0;
    const double y = (13.0 * std::cos(t) - 5.0 * std::cos(2.0 * t) - 2.0 * std::cos(3.0 * t) -
                      std::cos(4.0 * t) + 2.0) /
                     -15.0;
    out.push_back({box.cx + box.a * x, box.cy + box.b * y});
  }
  // Closes the outline at the notch, where t = 0 started it.
  out.push_back({box.cx, box.cy - 0.4666666666666667 * box.b});
  return out;
}

PathPoints star_points(const Box& box) {
  PathPoints out;
  out.reserve(11);
  for (int k = 0; k < 10; ++k) {
    const double r = k % 2 == 0 ? 1.0 : 0.42;
    const double angle = (-90.0 + 36.0 * k) * kPi / 180.0;
    out.push_back({box.cx + box.a * r * std::cos(angle), box.cy + box.b * r * std::sin(angle)});
  }
  out.push_back(out.front());
  return out;
}

}  // namespace

PathPoints curve_points(const PathPoints& points) {
  if (points.size() < 3)
    return PathPoints(points.begin(), points.begin() + std::min<std::size_t>(points.size(), 2));

  PathPoints padded;
  padded.reserve(points.size() + 2);
  padded.push_back(points.front());
  padded.insert(padded.end(), points.begin(), points.end());
  padded.push_back(points.back());

  PathPoints out;
  out.reserve(1 + (points.size() - 1) * 40);
  out.push_back(points.front());
  for (std::size_t i = 1; i + 2 < padded.size(); ++i) {
    const PathPoint& p0 = padded[i - 1];
    const PathPoint& p1 = padded[i];
    const PathPoint& p2 = padded[i + 1];
    const PathPoint& p3 = padded[i + 2];
    const double chord = std::hypot(p2.x - p1.x, p2.y - p1.y);
    const int steps = static_cast<int>(std::clamp(std::floor(chord / 6.0), 2.0, 40.0));
    for (int j = 1; j <= steps; ++j) {
      const double t = static_cast<double>(j) / steps;
      const double t2 = t * t;
      const double t3 = t2 * t;
      auto blend = [&](double v0, double v1, double v2, double v3) {
        return 0.5 * (2.0 * v1 + (v2 - v0) * t + (2.0 * v0 - 5.0 * v1 + 4.0 * v2 - v3) * t2 +
                      (3.0 * v1 - v0 - 3.0 * v2 + v3) * t3);
      };
      out.push_back({blend(p0.x, p1.x, p2.x, p3.x), blend(p0.y, p1.y, p2.y, p3.y)});
    }
  }
  return out;
}

ShapeResult shape_points(std::string_view kind, const PathPoints& points) {
  const bool open_kind = kind == "line" || kind == "curve";
  const bool corner_kind =
      kind == "rect" || kind == "ellipse" || kind == "arrow" || kind == "heart" || kind == "star";
  if (!open_kind && !corner_kind) return ShapeResult::fail("unknown kind " + std::string(kind));
  if (open_kind) {
    if (points.size() < 2)
      return ShapeResult::fail(std::string(kind) + " needs at least 2 points");
    if (kind == "line") return points;
    return curve_points(points);
  }
  if (points.size() != 2)
    return ShapeResult::fail(std::string(kind) + " needs exactly 2 points");
  const PathPoint& p1 = points[0];
  const PathPoint& p2 = points[1];
  if (kind == "rect") return rect_points(p1, p2);
  if (kind == "arrow") return arrow_points(p1, p2);
  const Box box = box_of(p1, p2);
  if (kind == "ellipse") return ellipse_points(box);
  if (kind == "heart") return heart_points(box);
  return star_points(box);
}

}  // namespace perchkin
