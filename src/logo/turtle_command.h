// The turtle command from arguments to strokes: argument checks, the program run, and the
// strokes a buddy's pencil then follows. Queueing the drawing is the scene's business.
#pragma once

#include "base/status.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "logo/turtle.h"
#include "base/json.h"
#include "shapes/path_point.h"
#include "shapes/style.h"

#include <optional>

namespace perchkin::logo {

struct TurtleDrawing {
  // Strokes of two points or more, in drawing order. pen true: an ink stroke with its own colour
  // text and width (before the display scale); pen false: a travelling stroke.
  std::vector<TurtleStroke> strokes;
  std::size_t ink_points = 0;  // points of the ink strokes
  double ttl = 10.0;           // the command's "ttl", for every ink stroke
  std::string reply;           // "drawing {n} points"
};

using TurtleDrawingResult = Result<TurtleDrawing>;

// Runs one program text from start with the given colour text and width: program checks,
// tokenize, parse, run, then drops strokes of one point. Fails with "that program draws
// nothing" when no ink stroke is left.
TurtleDrawingResult draw_turtle_program(std::string_view prog, PathPoint start,
                                        std::string_view color, double width);

// The turtle command's arguments, checked.
struct TurtleRequest {
  std::string prog;            // not checked yet: the run reports an empty or long program
  std::optional<double> x, y;  // the start, one coordinate at a time
  DrawStyle style;
};

// Reads "color", "width", "ttl", "x", "y" and "prog", checked in that order.
Result<TurtleRequest> read_turtle_request(const json& args);
// Runs the request. default_start is the buddy's pencil start point raised by 60 x display
// scale; the request's x and y replace it one coordinate at a time.
TurtleDrawingResult turtle_drawing(const TurtleRequest& request, PathPoint default_start);
// Both steps at once, from the command's arguments.
TurtleDrawingResult turtle_command(const json& args, PathPoint default_start);

}  // namespace perchkin::logo
