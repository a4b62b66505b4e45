// The Logo turtle: program text -> tokens -> statements -> strokes. Every limit below bounds
// the work of one program, whatever its text.
#pragma once

#include "base/status.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shapes/path_point.h"

namespace perchkin::logo {

inline constexpr std::size_t kMaxProgramBytes = 4000;
inline constexpr int kMaxRepeatNesting = 6;
inline constexpr double kMaxRepeatCount = 2000;
inline constexpr std::uint32_t kMaxStatementsRun = 50000;
inline constexpr std::size_t kMaxPoints = 20000;
inline constexpr double kCoordinateLimit = 20000;
inline constexpr std::size_t kMaxColorChars = 24;
// Numbers of more than 19 digits that hold ":i" must be read from text. Such a number takes at
// least 18 characters of program text (a round number has at most 4 digits), and values are
// remembered per round number (0 to 2000), so no program within the limits above reads more than
// 4000 / 18 * 2001, about 445,000 of them. The cap only backs up that reasoning.
inline constexpr std::size_t kMaxLongNumberReadings = 1'000'000;
static_assert(kMaxLongNumberReadings >
              kMaxProgramBytes / 18 * (static_cast<std::size_t>(kMaxRepeatCount) + 1));

enum class TurtleOp : std::uint8_t {
  repeat,
  forward,
  back,
  right,
  left,
  set_heading,
  pen_up,
  pen_down,
  go_to,
  color,
  width,
  arc,
  circle,
};

struct TurtleStatement {
  TurtleOp op = TurtleOp::forward;
  std::string name;                   // as written ("FD", "repeat")
  std::vector<std::string> values;    // value tokens as written; a repeat's count token
  std::vector<TurtleStatement> body;  // a repeat's statements
};

struct TurtleStroke {
  PathPoints points;
  bool pen = true;  // true: ink; false: the pencil only travels
  std::string color;
  double width = 4.0;
};

struct TurtleState {
  double x = 0.0;
  double y = 0.0;
  double heading = 0.0;  // degrees, 0 = east, counter-clockwise on screen (90 = up)
  bool pen = true;
  std::string color = "red";
  double width = 4.0;
  std::uint32_t steps = 0;          // statements run so far
  std::size_t points_appended = 0;  // points added by moves so far
  std::size_t long_readings = 0;    // see kMaxLongNumberReadings
  std::vector<TurtleStroke> strokes;
};

// A turtle at (x, y) heading east with its pen down, holding one stroke with the start point.
// The start is clamped to the coordinate limit like every later move.
TurtleState start_turtle(PathPoint start, std::string_view color, double width);

// Splits at white space after setting "[" and "]" apart and turning commas into spaces.
std::vector<std::string> tokenize(std::string_view text);

using ParseResult = Result<std::vector<TurtleStatement>>;
ParseResult parse(const std::vector<std::string>& tokens);

using RunResult = Result<std::vector<TurtleStroke>>;
// Runs the statements on the state (the counter is 0 at top level) and returns its strokes,
// including strokes of a single point.
RunResult run(const std::vector<TurtleStatement>& statements, TurtleState state);

}  // namespace perchkin::logo
