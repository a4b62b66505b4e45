#include "logo/turtle_command.h"

#include "base/args.h"
#include "base/command_table.h"
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

Result<TurtleRequest> read_turtle_request(const json& args) {
  TurtleRequest request;
  DrawStyleResult style = read_draw_style(args);
  if (!style.ok()) return style.status();
  request.style = std::move(*style);
  const Result<std::optional<double>> x = optional_number_arg(args, arg::x.name);
  if (!x.ok()) return x.status();
  request.x = *x;
  const Result<std::optional<double>> y = optional_number_arg(args, arg::y.name);
  if (!y.ok()) return y.status();
  request.y = *y;
  // A program that is not text is no program; the run says so.
  if (const json* prog = json_member(args, arg::turtle_prog.name); prog && prog->is_string())
    request.prog = prog->get<std::string>();
  return request;
}

TurtleDrawingResult turtle_drawing(const TurtleRequest& request, PathPoint default_start) {
  const PathPoint start{request.x.value_or(default_start.x), request.y.value_or(default_start.y)};
  TurtleDrawingResult result =
      draw_turtle_program(request.prog, start, request.style.color, request.style.width);
  if (result.ok()) result->ttl = request.style.ttl;
  return result;
}

TurtleDrawingResult turtle_command(const json& args, PathPoint default_start) {
  Result<TurtleRequest> request = read_turtle_request(args);
  if (!request.ok()) return request.status();
  return turtle_drawing(*request, default_start);
}

}  // namespace perchkin::logo
