// Turtle programs from untrusted callers: whatever the bytes, tokenize, parse and run must end
// quickly without crashing, every point must be a clamped number, and the compiled value reader
// must agree with a plain reading of the text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../logo/reference_eval.h"
#include "logo/expr.h"
#include "logo/turtle.h"
#include "logo/turtle_command.h"
#include "base/json.h"

namespace {

using namespace perchkin;
using namespace perchkin::logo;

void require(bool condition) {
  if (!condition) std::abort();
}

void check_drawing(const TurtleDrawingResult& result) {
  if (!result.ok()) {
    require(!result.error.empty());
    return;
  }
  std::size_t ink = 0;
  bool any_ink = false;
  for (const TurtleStroke& stroke : result->strokes) {
    require(stroke.points.size() >= 2);
    require(stroke.width >= 1.0 && stroke.width <= 40.0);
    for (const PathPoint& p : stroke.points) {
      require(std::isfinite(p.x) && std::isfinite(p.y));
      require(std::abs(p.x) <= kCoordinateLimit && std::abs(p.y) <= kCoordinateLimit);
    }
    if (stroke.pen) {
      any_ink = true;
      ink += stroke.points.size();
    }
  }
  require(any_ink);
  require(ink == result->ink_points);
  require(result->reply == "drawing " + std::to_string(ink) + " points");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 2 * kMaxProgramBytes) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The whole program path, as the turtle command runs it.
  check_drawing(draw_turtle_program(text, {960, 540}, "red", 4));

  // Tokens and statements on their own, past the program length check.
  const ParseResult parsed = parse(tokenize(text));
  if (parsed.ok()) {
    const RunResult ran = run(*parsed, start_turtle({0, 0}, "blue", 2));
    require(ran.ok() || !ran.error.empty());
  }

  // The same text as a whole turtle command, when it is a JSON object.
  if (const std::optional<json> args = parse_json(text); args && args->is_object()) {
    check_drawing(turtle_command(*args, {100, 100}));
  }

  // Values: the compiled reader against the plain one, for a counter taken from the first bytes.
  if (size >= 2 && size <= 300) {
    const auto counter = static_cast<std::uint32_t>(data[0] | (data[1] << 8)) % 2600;
    const std::string_view token = text.substr(2);
    const std::optional<double> expected = reference::eval(token, counter);
    const std::optional<double> actual = evaluate(compile_value(token), counter);
    require(expected.has_value() == actual.has_value());
    if (expected) require(*expected == *actual);
    const EvalResult result = eval(token, counter);
    require(result.ok() == actual.has_value());
  }
  return 0;
}
