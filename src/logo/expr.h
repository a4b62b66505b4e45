// Arithmetic values of turtle programs: + - * / with parentheses and signs over decimal
// numbers, where ":i" stands for the innermost repeat's round.
#pragma once

#include "base/status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin::logo {

// Parentheses and signs around a number, together, at most this deep.
inline constexpr int kMaxExpressionNesting = 32;

// A value token compiled once, so a loop can evaluate it many times without re-reading it.
struct CompiledValue {
  // An accumulator machine: push moves the accumulator onto the stack and loads the operand;
  // a binary step combines the accumulator with a loaded operand, or pops its left side when the
  // operand is `stack`. Folding loads into the step keeps long sums in a register.
  enum class Op : std::uint8_t { push, add, subtract, multiply, divide, negate };
  enum class Operand : std::uint8_t {
    stack,
    number,
    counter,  // a bare ":i"
    counter_number,
  };
  struct Step {
    Op op = Op::push;
    Operand operand = Operand::number;
    std::uint32_t index = 0;  // counter_number: index into counter_numbers
    double number = 0.0;      // number: its value
  };

  // A run of digits and dots that contains ":i"; the counter's digits join the run, so ":i0"
  // with the counter at 3 reads as 30.
  struct CounterNumber {
    struct Piece {
      enum class Kind : std::uint8_t { digits, counter, dot } kind = Kind::digits;
      std::uint32_t offset = 0;  // digits: where they start in text
      std::uint32_t length = 0;  // digits: how many
      // Whether a nonzero digit or a counter comes after this piece: when a very long number is
      // cut short, what follows the cut only matters as "something more than zero".
      bool nonzero_after = false;
      bool counter_after = false;
    };
    std::string text;  // as written
    std::vector<Piece> pieces;
  };
  // For a counter of d digits and a run of at most 19 digits, the run's digits read as an integer
  // are base + counter * scale, with fraction_digits of them after the dot.
  struct ShortForm {
    std::uint64_t base = 0;
    std::uint64_t scale = 0;
    std::uint32_t fraction_digits = 0;
    bool usable = false;
  };
  static constexpr std::size_t kMaxCounterDigits = 10;  // a 32-bit counter

  std::vector<Step> code;  // postfix order
  std::vector<CounterNumber> counter_numbers;
  // short_forms[d - 1][i] belongs to counter_numbers[i]; kept apart so a round's evaluation
  // walks one compact array.
  std::array<std::vector<ShortForm>, kMaxCounterDigits> short_forms;
  int stack_needed = 0;
  bool valid = false;
  bool uses_counter = false;
};

CompiledValue compile_value(std::string_view token);

// nullopt for division by zero, an unreadable number or a result that is not finite; numbers
// beyond a double's range read as infinity and may still give a finite result.
// long_readings, when given, grows by the counter numbers too long for the quick integer route,
// which are read from text and cost far more.
std::optional<double> evaluate(const CompiledValue& value, std::uint32_t counter,
                               std::size_t* long_readings = nullptr);

using EvalResult = Result<double>;

std::string not_a_number_message(std::string_view token);

// Every ":i" in the token is the counter written in decimal. Failures read
// "not a number: {token}" with the token as written.
EvalResult eval(std::string_view token, std::uint32_t counter);

}  // namespace perchkin::logo
