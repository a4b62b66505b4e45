#include "logo/turtle_command.h"

#include "base/args.h"
#include "base/text.h"
#include "shapes/style.h"

namespace perchkin::logo {

TurtleDrawingResult draw_turtle_program(std::string_view prog, PathPoint start,
                                        std::string_view color, double width) {
  if (trim(prog).empty()) return {{}, "prog needs some turtle commands"};
  if (prog.size() > kMaxProgramBytes) return {{}, "prog is too long"};

  ParseResult parsed = parse(tokenize(prog));
  if (!parsed.ok()) return parsed.status();
  RunResult ran = run(*parsed, start_turtle(start, color, width));
  if (!ran.ok()) return ran.status();

  TurtleDrawing drawing;
  bool inks = false;
  for (TurtleStroke& stroke : *ran) {
    if (stroke.points.size() < 2) continue;
    if (stroke.pen) {
      inks = true;
      drawing.ink_points += stroke.points.size();
    }
    drawing.strokes.push_back(std::move(stroke));
  }
  if (!inks) return {{}, "that program draws nothing"};
  drawing.reply = "drawing " + std::to_string(drawing.ink_points) + " points";
  return drawing;
}

TurtleDrawingResult turtle_command(const json& args, PathPoint default_start) {
  DrawStyleResult style = read_draw_style(args);
  if (!style.ok()) return style.status();

  PathPoint start = default_start;
  const Result<double> x = number_arg(args, "x", start.x);
  if (!x.ok()) return x.status();
  start.x = *x;
  const Result<double> y = number_arg(args, "y", start.y);
  if (!y.ok()) return y.status();
  start.y = *y;

  const json* prog = json_member(args, "prog");
  const std::string_view text = prog != nullptr && prog->is_string()
                                    ? std::string_view(prog->get_ref<const std::string&>())
                                    : std::string_view();
  TurtleDrawingResult result = draw_turtle_program(text, start, style->color, style->width);
  if (result.ok()) result->ttl = style->ttl;
  return result;
}

}  // namespace perchkin::logo
