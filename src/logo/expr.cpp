#include "logo/expr.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace perchkin::logo {

namespace {

// Nesting is capped, so the stack is too: two waiting operands per level at most, plus the
// accumulator's start.
constexpr int kStackCapacity = 2 * (kMaxExpressionNesting + 1) + 3;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_counter_at(std::string_view s, std::size_t i) {
  return i + 1 < s.size() && s[i] == ':' && s[i + 1] == 'i';
}

// Reads a run of digits with at most one dot (".5" and "5." included). A value too small for a
// double reads as 0 and one too large as infinity, so that only a result that is not finite
// fails: 1/99…9 with 400 nines is 0.
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
    return std::numeric_limits<double>::infinity();
  }
  if (ec != std::errc()) return std::nullopt;
  return value;
}

constexpr std::array<double, 23> kPowersOfTen{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::array<std::uint64_t, 20> kIntegerPowersOfTen = [] {
  std::array<std::uint64_t, 20> powers{};
  powers[0] = 1;
  for (std::size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// Splits a run of digits holding ":i" into pieces.
CompiledValue::CounterNumber split_counter_number(std::string_view run) {
  using Piece = CompiledValue::CounterNumber::Piece;
  CompiledValue::CounterNumber number;
  number.text = std::string(run);
  for (std::size_t i = 0; i < run.size();) {
    if (is_counter_at(run, i)) {
      number.pieces.push_back({Piece::Kind::counter});
      i += 2;
    } else if (run[i] == '.') {
      number.pieces.push_back({Piece::Kind::dot});
      ++i;
    } else {
      Piece piece{Piece::Kind::digits, static_cast<std::uint32_t>(i)};
      while (i < run.size() && run[i] >= '0' && run[i] <= '9') ++i;
      piece.length = static_cast<std::uint32_t>(i) - piece.offset;
      number.pieces.push_back(piece);
    }
  }
  bool nonzero = false;
  bool counter = false;
  for (auto it = number.pieces.rbegin(); it != number.pieces.rend(); ++it) {
    it->nonzero_after = nonzero;
    it->counter_after = counter;
    if (it->kind == Piece::Kind::counter) counter = true;
    if (it->kind == Piece::Kind::digits &&
        run.substr(it->offset, it->length).find_first_not_of('0') != std::string_view::npos) {
      nonzero = true;
    }
  }
  return number;
}

// The integer form of a run for counters of one length; unusable past 19 digits, which no longer
// fit 64 bits.
CompiledValue::ShortForm short_form(std::string_view run, std::size_t counter_digits) {
  std::uint32_t digits = 0;
  std::uint32_t fraction = 0;
  bool after_dot = false;
  for (std::size_t i = 0; i < run.size(); ++i) {
    std::uint32_t added = 1;
    if (is_counter_at(run, i)) {
      added = static_cast<std::uint32_t>(counter_digits);
      ++i;
    } else if (run[i] == '.') {
      added = 0;
      after_dot = true;
    }
    digits += added;
    if (after_dot) fraction += added;
    if (digits > 19) return {};
  }
  CompiledValue::ShortForm form;
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (is_counter_at(run, i)) {
      form.base *= kIntegerPowersOfTen[counter_digits];
      form.scale = form.scale * kIntegerPowersOfTen[counter_digits] + 1;
      ++i;
    } else if (run[i] != '.') {
      form.base = form.base * 10 + static_cast<std::uint64_t>(run[i] - '0');
      form.scale *= 10;
    }
  }
  form.fraction_digits = fraction;
  form.usable = true;
  return form;
}

// Collects the digits of a long number; most fit on the stack.
class DigitBuffer {
 public:
  void append(std::string_view text) {
    if (large_.empty() && size_ + text.size() <= sizeof small_) {
      text.copy(small_ + size_, text.size());
      size_ += text.size();
      return;
    }
    if (large_.empty()) large_.assign(small_, size_);
    large_ += text;
  }
  std::string_view view() const {
    return large_.empty() ? std::string_view(small_, size_) : std::string_view(large_);
  }

 private:
  char small_[128];
  std::size_t size_ = 0;
  std::string large_;
};

// Digits a double can need to round correctly are far fewer than this; past it, the rest of a
// long fraction only tells whether the value is a little more than the kept digits.
constexpr std::size_t kKeptSignificantDigits = 800;

// Reads a counter number from its text with the counter's digits in place, keeping at most
// kKeptSignificantDigits significant digits and a final 1 standing for any nonzero rest.
std::optional<double> read_long_counter_number(const CompiledValue::CounterNumber& number,
                                               std::string_view counter_text) {
  using Piece = CompiledValue::CounterNumber::Piece;
  DigitBuffer out;
  std::size_t significant = 0;
  bool after_dot = false;
  // Appends digits, returns false once enough are kept; rest_nonzero tells about the cut part.
  auto append = [&](std::string_view digits, bool& rest_nonzero) {
    std::size_t i = 0;
    if (significant == 0) {  // leading zeros place the number but do not count
      i = std::min(digits.find_first_not_of('0'), digits.size());
      out.append(digits.substr(0, i));
    }
    const std::size_t take = std::min(kKeptSignificantDigits - significant, digits.size() - i);
    out.append(digits.substr(i, take));
    significant += take;
    if (i + take < digits.size()) {
      rest_nonzero = digits.substr(i + take).find_first_not_of('0') != std::string_view::npos;
      return false;
    }
    return true;
  };
  for (const Piece& piece : number.pieces) {
    bool rest_nonzero = false;
    bool all_kept = true;
    if (piece.kind == Piece::Kind::dot) {
      out.append(".");
      after_dot = true;
      continue;
    }
    if (piece.kind == Piece::Kind::digits) {
      all_kept =
          append(std::string_view(number.text).substr(piece.offset, piece.length), rest_nonzero);
    } else {
      all_kept = append(counter_text, rest_nonzero);
    }
    if (!all_kept || (significant >= kKeptSignificantDigits && &piece != &number.pieces.back())) {
      // A whole part this long is far beyond the largest double.
      if (!after_dot) return std::numeric_limits<double>::infinity();
      const bool counter_nonzero = counter_text.find_first_not_of('0') != std::string_view::npos;
      if (rest_nonzero || piece.nonzero_after || (piece.counter_after && counter_nonzero)) {
        out.append("1");
      }
      break;
    }
  }
  return read_decimal(out.view());
}

// The value of a counter number for one round. Short runs form an integer, which converts
// exactly when whole and rounds correctly as a quotient when it is at most 2^53 over a power of
// ten up to 10^22; longer runs are read as text.
// NaN when unreadable (no readable number is NaN); this sits in the hottest loop of a run.
double read_counter_number(const CompiledValue& value, std::uint32_t index,
                           std::string_view counter_text, std::uint64_t counter,
                           std::size_t* long_readings) {
  const CompiledValue::ShortForm& form = value.short_forms[counter_text.size() - 1][index];
  if (form.usable) {
    const std::uint64_t mantissa = form.base + counter * form.scale;
    if (form.fraction_digits == 0) return static_cast<double>(mantissa);
    if (mantissa <= (std::uint64_t{1} << 53)) {
      return static_cast<double>(mantissa) / kPowersOfTen[form.fraction_digits];
    }
  }
  if (long_readings != nullptr) ++*long_readings;
  return read_long_counter_number(value.counter_numbers[index], counter_text)
      .value_or(std::numeric_limits<double>::quiet_NaN());
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

  void load(CompiledValue::Operand operand, std::uint32_t index = 0, double number = 0.0) {
    out_.code.push_back({CompiledValue::Op::push, operand, index, number});
    if (++depth_ > out_.stack_needed) out_.stack_needed = depth_;
  }

  // A right side that was just loaded is folded into the step.
  void combine(CompiledValue::Op op) {
    CompiledValue::Step& last = out_.code.back();
    if (last.op == CompiledValue::Op::push) {
      last.op = op;
    } else {
      out_.code.push_back({op, CompiledValue::Operand::stack});
    }
    --depth_;
  }

  void negate() { out_.code.push_back({CompiledValue::Op::negate}); }

  bool expression(int nesting) {
    if (!term(nesting)) return false;
    for (;;) {
      skip_spaces();
      if (pos_ >= s_.size() || (s_[pos_] != '+' && s_[pos_] != '-')) return true;
      const bool add = s_[pos_] == '+';
      ++pos_;
      if (!term(nesting)) return false;
      combine(add ? CompiledValue::Op::add : CompiledValue::Op::subtract);
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
      combine(multiply ? CompiledValue::Op::multiply : CompiledValue::Op::divide);
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
        negate();
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
    if (counter && run == ":i") {
      out_.uses_counter = true;
      load(CompiledValue::Operand::counter);
      return true;
    }
    if (counter) {
      out_.uses_counter = true;
      out_.counter_numbers.push_back(split_counter_number(run));
      for (std::size_t d = 1; d <= CompiledValue::kMaxCounterDigits; ++d) {
        out_.short_forms[d - 1].push_back(short_form(run, d));
      }
      load(CompiledValue::Operand::counter_number,
           static_cast<std::uint32_t>(out_.counter_numbers.size() - 1));
      return true;
    }
    const std::optional<double> value = read_decimal(run);
    if (!value) return false;
    load(CompiledValue::Operand::number, 0, *value);
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
    for (auto& forms : out.short_forms) forms.clear();
  }
  return out;
}

std::optional<double> evaluate(const CompiledValue& value, std::uint32_t counter,
                               std::size_t* long_readings) {
  if (!value.valid) return std::nullopt;
  char counter_digits[16];
  const auto digits_end =
      std::to_chars(counter_digits, counter_digits + sizeof counter_digits, counter).ptr;
  const std::string_view counter_text(counter_digits,
                                      static_cast<std::size_t>(digits_end - counter_digits));
  const auto counter_value = static_cast<double>(counter);

  std::array<double, kStackCapacity> stack;
  std::size_t top = 0;  // values on the stack, the first being the accumulator's start
  double acc = 0.0;
  for (const CompiledValue::Step& step : value.code) {
    if (step.op == CompiledValue::Op::negate) {
      acc = -acc;
      continue;
    }
    double left = acc;
    double right = acc;
    switch (step.operand) {
      case CompiledValue::Operand::stack:
        left = stack[--top];
        break;
      case CompiledValue::Operand::number:
        right = step.number;
        break;
      case CompiledValue::Operand::counter:
        right = counter_value;
        break;
      case CompiledValue::Operand::counter_number:
        right = read_counter_number(value, step.index, counter_text, counter, long_readings);
        if (std::isnan(right)) return std::nullopt;
        break;
    }
    switch (step.op) {
      case CompiledValue::Op::push:
        stack[top++] = acc;
        acc = right;
        break;
      case CompiledValue::Op::add:
        acc = left + right;
        break;
      case CompiledValue::Op::subtract:
        acc = left - right;
        break;
      case CompiledValue::Op::multiply:
        acc = left * right;
        break;
      case CompiledValue::Op::divide:
        if (right == 0.0) return std::nullopt;
        acc = left / right;
        break;
      case CompiledValue::Op::negate:
        break;
    }
  }
  if (top != 1 || !std::isfinite(acc)) return std::nullopt;
  return acc;
}

std::string not_a_number_message(std::string_view token) {
  return "not a number: " + std::string(token);
}

EvalResult eval(std::string_view token, std::uint32_t counter) {
  const std::optional<double> value = evaluate(compile_value(token), counter);
  if (!value) return EvalResult::fail(not_a_number_message(token));
  return *value;
}

}  // namespace perchkin::logo
