// Shape geometry for the draw command: a shape kind and its given points become the single
// polyline the pencil inks. Pure arithmetic; the point counts matter because pencil speed and
// the drawing's size follow from them.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "shapes/path_point.h"

namespace perchkin {

// Either the ink path or a failure message.
using ShapeResult = Result<PathPoints>;

// Kinds: line, curve (at least 2 points); rect, ellipse, arrow, heart, star (exactly 2 corners).
// Points are expected to be validated and clamped by the caller already.
ShapeResult shape_points(std::string_view kind, const PathPoints& points);

// Uniform Catmull-Rom spline through every given point, one step per 6 px of chord (2 to 40 per
// segment). Fewer than 3 points come back as the first two points.
PathPoints curve_points(const PathPoints& points);

}  // namespace perchkin
