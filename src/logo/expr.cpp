#include "logo/expr.h"

#include <array>
#include <charconv>
#include <cmath>

namespace perchkin::logo {

namespace {

// Nesting is capped, so the postfix stack is too: two waiting operands per level at most.
constexpr int kStackCapacity = 2 * (kMaxExpressionNesting + 1) + 2;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_counter_at(std::string_view s, std::size_t i) {
  return i + 1 < s.size() && s[i] == ':' && s[i + 1] == 'i';
}

// Reads a run of digits with at most one dot (".5" and "5." included). A value too small for a
// double reads as 0; one too large is unreadable.
std::optional<double> read_decimal(std::string_view digits) {
  double value = 0.0;
  const char* first = digits.data();
  const char* last = first + digits.size();
  // Some from_chars versions refuse a trailing dot; "5." means 5 all the same.
  if (digits.size() > 1 && digits.back() == '.') --last;
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (ptr != last) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    const std::size_t dot = digits.find('.');
    const std::string_view whole = digits.substr(0, dot);
    if (whole.find_first_not_of('0') == std::string_view::npos) return 0.0;
    return std::nullopt;
  }
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

constexpr std::array<double, 23> kPowersOfTen{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads a digit run with the counter's digits in place of each ":i". Short runs are converted
// exactly with integer arithmetic (a mantissa below 2^53 divided by an exact power of ten rounds
// correctly); long ones go through the text.
std::optional<double> read_counter_number(std::string_view run, std::uint32_t counter) {
  char counter_digits[16];
  const auto conv = std::to_chars(counter_digits, counter_digits + sizeof counter_digits, counter);
  const std::string_view counter_text(counter_digits,
                                      static_cast<std::size_t>(conv.ptr - counter_digits));

  constexpr std::uint64_t kMantissaLimit = (std::uint64_t{1} << 53) / 10 - 1;
  std::uint64_t mantissa = 0;
  int fraction_digits = 0;
  bool after_dot = false;
  bool exact = true;
  auto take = [&](char c) {
    if (c == '.') {
      after_dot = true;
      return;
    }
    if (mantissa > kMantissaLimit) {
      exact = false;
      return;
    }
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    if (after_dot) ++fraction_digits;
  };
  for (std::size_t i = 0; i < run.size() && exact; ++i) {
    if (is_counter_at(run, i)) {
      for (char c : counter_text) take(c);
      ++i;
    } else {
      take(run[i]);
    }
  }
  if (exact && fraction_digits < static_cast<int>(kPowersOfTen.size())) {
    return static_cast<double>(mantissa) / kPowersOfTen[static_cast<std::size_t>(fraction_digits)];
  }

  std::string text;
  text.reserve(run.size() * 2);
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (is_counter_at(run, i)) {
      text += counter_text;
      ++i;
    } else {
      text += run[i];
    }
  }
  return read_decimal(text);
}

class Compiler {
 public:
  Compiler(std::string_view text, CompiledValue& out) : s_(text), out_(out) {}

  bool compile() {
    if (!expression(0)) return false;
    skip_spaces();
    return pos_ == s_.size();
  }

 private:
  void skip_spaces() {
    while (pos_ < s_.size() && is_space(s_[pos_])) ++pos_;
  }

  void push(CompiledValue::Step step) {
    out_.code.push_back(step);
    if (step.op == CompiledValue::Op::number || step.op == CompiledValue::Op::counter_number) {
      ++depth_;
      if (depth_ > out_.stack_needed) out_.stack_needed = depth_;
    } else if (step.op != CompiledValue::Op::negate) {
      --depth_;
    }
  }

  bool expression(int nesting) {
    if (!term(nesting)) return false;
    for (;;) {
      skip_spaces();
      if (pos_ >= s_.size() || (s_[pos_] != '+' && s_[pos_] != '-')) return true;
      const bool add = s_[pos_] == '+';
      ++pos_;
      if (!term(nesting)) return false;
      push({add ? CompiledValue::Op::add : CompiledValue::Op::subtract});
    }
  }

  bool term(int nesting) {
    if (!factor(nesting)) return false;
    for (;;) {
      skip_spaces();
      if (pos_ >= s_.size() || (s_[pos_] != '*' && s_[pos_] != '/')) return true;
      const bool multiply = s_[pos_] == '*';
      ++pos_;
      if (!factor(nesting)) return false;
      push({multiply ? CompiledValue::Op::multiply : CompiledValue::Op::divide});
    }
  }

  bool factor(int nesting) {
    skip_spaces();
    if (pos_ >= s_.size()) return false;
    const char c = s_[pos_];
    if (c == '(' || c == '+' || c == '-') {
      if (nesting + 1 > kMaxExpressionNesting) return false;
      ++pos_;
      if (c == '+') return factor(nesting + 1);
      if (c == '-') {
        if (!factor(nesting + 1)) return false;
        push({CompiledValue::Op::negate});
        return true;
      }
      if (!expression(nesting + 1)) return false;
      skip_spaces();
      if (pos_ >= s_.size() || s_[pos_] != ')') return false;
      ++pos_;
      return true;
    }
    return number();
  }

  // A number is a run of digits, dots and ":i" (the counter's digits once replaced).
  bool number() {
    const std::size_t start = pos_;
    int dots = 0;
    bool digits = false;
    bool counter = false;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c >= '0' && c <= '9') {
        digits = true;
      } else if (c == '.') {
        ++dots;
      } else if (is_counter_at(s_, pos_)) {
        counter = true;
        ++pos_;
      } else {
        break;
      }
      ++pos_;
    }
    if (dots > 1 || (!digits && !counter)) return false;
    const std::string_view run = s_.substr(start, pos_ - start);
    if (counter) {
      out_.uses_counter = true;
      out_.counter_numbers.emplace_back(run);
      push({CompiledValue::Op::counter_number,
            static_cast<std::uint32_t>(out_.counter_numbers.size() - 1)});
      return true;
    }
    const std::optional<double> value = read_decimal(run);
    if (!value) return false;
    push({CompiledValue::Op::number, 0, *value});
    return true;
  }

  std::string_view s_;
  CompiledValue& out_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

CompiledValue compile_value(std::string_view token) {
  CompiledValue out;
  Compiler compiler(token, out);
  out.valid = compiler.compile() && out.stack_needed <= kStackCapacity;
  if (!out.valid) {
    out.code.clear();
    out.counter_numbers.clear();
  }
  return out;
}

std::optional<double> evaluate(const CompiledValue& value, std::uint32_t counter) {
  if (!value.valid) return std::nullopt;
  std::array<double, kStackCapacity> stack;
  std::size_t top = 0;  // number of values on the stack
  for (const CompiledValue::Step& step : value.code) {
    switch (step.op) {
      case CompiledValue::Op::number:
        stack[top++] = step.number;
        break;
      case CompiledValue::Op::counter_number: {
        const std::optional<double> n =
            read_counter_number(value.counter_numbers[step.index], counter);
        if (!n) return std::nullopt;
        stack[top++] = *n;
        break;
      }
      case CompiledValue::Op::negate:
        stack[top - 1] = -stack[top - 1];
        break;
      case CompiledValue::Op::add:
        --top;
        stack[top - 1] += stack[top];
        break;
      case CompiledValue::Op::subtract:
        --top;
        stack[top - 1] -= stack[top];
        break;
      case CompiledValue::Op::multiply:
        --top;
        stack[top - 1] *= stack[top];
        break;
      case CompiledValue::Op::divide:
        --top;
        if (stack[top] == 0.0) return std::nullopt;
        stack[top - 1] /= stack[top];
        break;
    }
  }
  if (top != 1 || !std::isfinite(stack[0])) return std::nullopt;
  return stack[0];
}

std::string not_a_number_message(std::string_view token) {
  return "not a number: " + std::string(token);
}

EvalResult eval(std::string_view token, std::uint32_t counter) {
  const std::optional<double> value = evaluate(compile_value(token), counter);
  if (!value) return {0.0, not_a_number_message(token)};
  return {*value, {}};
}

}  // namespace perchkin::logo
