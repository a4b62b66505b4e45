#include "logo/turtle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <unordered_map>

#include "logo/expr.h"
#include "base/text.h"

namespace perchkin::logo {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

struct CommandInfo {
  std::string_view name;
  TurtleOp op;
  int values;
};

constexpr CommandInfo kCommands[] = {
    {"fd", TurtleOp::forward, 1},       {"forward", TurtleOp::forward, 1},
    {"bk", TurtleOp::back, 1},          {"back", TurtleOp::back, 1},
    {"rt", TurtleOp::right, 1},         {"right", TurtleOp::right, 1},
    {"lt", TurtleOp::left, 1},          {"left", TurtleOp::left, 1},
    {"seth", TurtleOp::set_heading, 1}, {"setheading", TurtleOp::set_heading, 1},
    {"pu", TurtleOp::pen_up, 0},        {"penup", TurtleOp::pen_up, 0},
    {"pd", TurtleOp::pen_down, 0},      {"pendown", TurtleOp::pen_down, 0},
    {"goto", TurtleOp::go_to, 2},       {"setpos", TurtleOp::go_to, 2},
    {"color", TurtleOp::color, 1},      {"pencolor", TurtleOp::color, 1},
    {"width", TurtleOp::width, 1},      {"pensize", TurtleOp::width, 1},
    {"arc", TurtleOp::arc, 2},          {"circle", TurtleOp::circle, 1},
};

const CommandInfo* find_command(std::string_view lower_name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == lower_name) return &info;
  }
  return nullptr;
}

// Parses statements from pos up to the "]" closing this block (depth > 0) or the end of the
// tokens (depth 0). Recursion is bounded by the nesting limit.
Status parse_block(const std::vector<std::string>& tokens, std::size_t& pos, int depth,
                        std::vector<TurtleStatement>& out) {
  if (depth > kMaxRepeatNesting) return Status::fail("repeats are nested too deeply");
  while (pos < tokens.size()) {
    const std::string& token = tokens[pos];
    if (token == "]") {
      if (depth == 0) return Status::fail("unexpected ]");
      ++pos;
      return {};
    }
    const std::string name = lower_ascii(token);
    if (name == "repeat") {
      if (pos + 2 >= tokens.size() || tokens[pos + 2] != "[") {
        return Status::fail("repeat needs a count and a [ block ]");
      }
      TurtleStatement repeat{TurtleOp::repeat, token, {tokens[pos + 1]}, {}};
      pos += 3;
      if (Status s = parse_block(tokens, pos, depth + 1, repeat.body); !s.ok()) {
        return s;
      }
      out.push_back(std::move(repeat));
      continue;
    }
    const CommandInfo* info = find_command(name);
    if (info == nullptr) return Status::fail("unknown turtle command " + token);
    const auto needed = static_cast<std::size_t>(info->values);
    if (tokens.size() - pos - 1 < needed) {
      return Status::fail(token + " needs " + std::to_string(info->values) + " value(s)");
    }
    TurtleStatement command{info->op, token, {}, {}};
    command.values.assign(tokens.begin() + static_cast<std::ptrdiff_t>(pos + 1),
                          tokens.begin() + static_cast<std::ptrdiff_t>(pos + 1 + needed));
    pos += 1 + needed;
    out.push_back(std::move(command));
  }
  if (depth > 0) return Status::fail("a repeat block is missing its ]");
  return {};
}

// A statement with its value tokens compiled. Values are compiled once per run and their
// results remembered per counter, so a long expression inside nested repeats costs at most one
// evaluation per round number rather than one per statement run.
struct Node {
  const TurtleStatement* statement = nullptr;
  std::array<std::uint32_t, 2> values{};
  std::vector<Node> body;
};

class Runner {
 public:
  explicit Runner(TurtleState& state) : st_(state) {}

  std::vector<Node> compile(const std::vector<TurtleStatement>& statements) {
    std::vector<Node> nodes;
    nodes.reserve(statements.size());
    for (const TurtleStatement& statement : statements) {
      Node node;
      node.statement = &statement;
      if (statement.op != TurtleOp::color) {
        for (std::size_t i = 0; i < statement.values.size() && i < node.values.size(); ++i) {
          node.values[i] = static_cast<std::uint32_t>(compiled_.size());
          compiled_.push_back(compile_value(statement.values[i]));
          constant_.emplace_back();
        }
      }
      node.body = compile(statement.body);
      nodes.push_back(std::move(node));
    }
    return nodes;
  }

  Status run_block(const std::vector<Node>& nodes, std::uint32_t counter) {
    for (const Node& node : nodes) {
      if (++st_.steps > kMaxStatementsRun) return Status::fail("program runs too long");
      if (Status s = run_statement(node, counter); !s.ok()) return s;
    }
    return {};
  }

 private:
  // Evaluates value i of a node; failures end the run with their message.
  Status value(const Node& node, std::size_t i, std::uint32_t counter, double& out) {
    const std::uint32_t id = node.values[i];
    const CompiledValue& compiled = compiled_[id];
    std::optional<double> result;
    if (!compiled.uses_counter) {
      if (!constant_[id]) constant_[id] = evaluate(compiled, 0);
      result = constant_[id];
    } else {
      const std::uint64_t key = (std::uint64_t{id} << 32) | counter;
      if (auto it = memo_.find(key); it != memo_.end()) {
        result = it->second;
      } else {
        result = evaluate(compiled, counter, &st_.long_readings);
        if (st_.long_readings > kMaxLongNumberReadings)
          return Status::fail("program runs too long");
        if (result) memo_.emplace(key, *result);
      }
    }
    if (!result) return Status::fail(not_a_number_message(node.statement->values[i]));
    out = *result;
    return {};
  }

  Status run_statement(const Node& node, std::uint32_t counter) {
    const TurtleStatement& statement = *node.statement;
    std::array<double, 2> v{};
    if (statement.op != TurtleOp::color) {
      for (std::size_t i = 0; i < statement.values.size() && i < v.size(); ++i) {
        if (Status s = value(node, i, counter, v[i]); !s.ok()) return s;
      }
    }

    switch (statement.op) {
      case TurtleOp::repeat: {
        const double count = std::trunc(v[0]);
        if (count < 0 || count > kMaxRepeatCount)
          return Status::fail("repeat count must be 0 to 2000");
        // An empty body does nothing however often it runs.
        if (node.body.empty()) return {};
        const auto rounds = static_cast<std::uint32_t>(count);
        for (std::uint32_t round = 1; round <= rounds; ++round) {
          if (Status s = run_block(node.body, round); !s.ok()) return s;
        }
        return {};
      }
      case TurtleOp::forward:
        return move_by(v[0]);
      case TurtleOp::back:
        return move_by(-v[0]);
      case TurtleOp::right:
        turn(-v[0]);
        return {};
      case TurtleOp::left:
        turn(v[0]);
        return {};
      case TurtleOp::set_heading:
        st_.heading = 0.0;
        turn(v[0]);
        return {};
      case TurtleOp::pen_up:
        st_.pen = false;
        pen_change();
        return {};
      case TurtleOp::pen_down:
        st_.pen = true;
        pen_change();
        return {};
      case TurtleOp::go_to:
        return move_to(v[0], v[1]);
      case TurtleOp::color:
        if (!statement.values.empty()) st_.color = first_chars(statement.values[0], kMaxColorChars);
        pen_change();
        return {};
      case TurtleOp::width:
        st_.width = std::clamp(v[0], 1.0, 40.0);
        pen_change();
        return {};
      case TurtleOp::arc:
        return arc(v[0], v[1]);
      case TurtleOp::circle:
        return circle(v[0]);
    }
    return {};
  }

  // Headings only feed cos and sin; folding huge ones keeps them finite whatever is added.
  void turn(double degrees) {
    st_.heading += degrees;
    if (std::abs(st_.heading) > 1e9) st_.heading = std::fmod(st_.heading, 360.0);
  }

  Status move_to(double x, double y) {
    // An infinite chord at a right angle gives 0 * inf; that coordinate stays where it is.
    if (std::isnan(x)) x = st_.x;
    if (std::isnan(y)) y = st_.y;
    st_.x = std::clamp(x, -kCoordinateLimit, kCoordinateLimit);
    st_.y = std::clamp(y, -kCoordinateLimit, kCoordinateLimit);
    st_.strokes.back().points.push_back({st_.x, st_.y});
    if (++st_.points_appended > kMaxPoints) return Status::fail("drawing is too big");
    return {};
  }

  Status move_by(double distance) {
    const double h = st_.heading * std::numbers::pi / 180.0;
    return move_to(st_.x + distance * std::cos(h), st_.y - distance * std::sin(h));
  }

  void pen_change() {
    TurtleStroke& current = st_.strokes.back();
    if (current.points.size() <= 1) {
      current.pen = st_.pen;
      current.color = st_.color;
      current.width = st_.width;
      return;
    }
    st_.strokes.push_back({{{st_.x, st_.y}}, st_.pen, st_.color, st_.width});
  }

  Status arc(double angle, double radius) {
    const auto segments =
        static_cast<int>(std::clamp(std::trunc(std::abs(angle) / 5.0) + 1.0, 2.0, 360.0));
    const double step = angle / segments;
    const double chord =
        2.0 * std::abs(radius) * std::sin(std::abs(step) / 2.0 * std::numbers::pi / 180.0);
    for (int i = 0; i < segments; ++i) {
      turn(step / 2.0);
      if (Status s = move_by(chord); !s.ok()) return s;
      turn(step / 2.0);
    }
    return {};
  }

  Status circle(double radius) {
    constexpr int kSegments = 73;
    constexpr double kHalfTurn = 180.0 / kSegments;
    // 2 sin(180/73 degrees): the chord of one 360/73 degree step of a unit circle.
    const double chord = 2.0 * std::abs(radius) * 0.04302223300453047;
    for (int i = 0; i < kSegments; ++i) {
      turn(kHalfTurn);
      if (Status s = move_by(chord); !s.ok()) return s;
      turn(kHalfTurn);
    }
    return {};
  }

  TurtleState& st_;
  std::vector<CompiledValue> compiled_;
  std::vector<std::optional<double>> constant_;
  std::unordered_map<std::uint64_t, double> memo_;
};

}  // namespace

TurtleState start_turtle(PathPoint start, std::string_view color, double width) {
  TurtleState state;
  state.x = std::isnan(start.x) ? 0.0 : std::clamp(start.x, -kCoordinateLimit, kCoordinateLimit);
  state.y = std::isnan(start.y) ? 0.0 : std::clamp(start.y, -kCoordinateLimit, kCoordinateLimit);
  state.color = first_chars(color, kMaxColorChars);
  state.width = std::isnan(width) ? 4.0 : std::clamp(width, 1.0, 40.0);
  state.strokes.push_back({{{state.x, state.y}}, state.pen, state.color, state.width});
  return state;
}

std::vector<std::string> tokenize(std::string_view text) {
  std::vector<std::string> tokens;
  std::string current;
  auto flush = [&] {
    if (!current.empty()) tokens.push_back(std::move(current));
    current.clear();
  };
  for (char c : text) {
    if (c == '[' || c == ']') {
      flush();
      tokens.emplace_back(1, c);
    } else if (c == ',' || is_space(c)) {
      flush();
    } else {
      current.push_back(c);
    }
  }
  flush();
  return tokens;
}

ParseResult parse(const std::vector<std::string>& tokens) {
  std::vector<TurtleStatement> statements;
  std::size_t pos = 0;
  if (Status s = parse_block(tokens, pos, 0, statements); !s.ok()) return s;
  return statements;
}

RunResult run(const std::vector<TurtleStatement>& statements, TurtleState state) {
  if (state.strokes.empty()) {
    state.strokes.push_back({{{state.x, state.y}}, state.pen, state.color, state.width});
  }
  Runner runner(state);
  const std::vector<Node> nodes = runner.compile(statements);
  if (Status s = runner.run_block(nodes, 0); !s.ok()) return s;
  return std::move(state.strokes);
}

}  // namespace perchkin::logo
