// Arithmetic values of turtle programs: + - * / with parentheses and signs over decimal
// numbers, where ":i" stands for the innermost repeat's round.
#pragma once

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
  enum class Op : std::uint8_t { number, counter_number, add, subtract, multiply, divide, negate };
  struct Step {
    Op op = Op::number;
    std::uint32_t index = 0;  // counter_number: index into counter_numbers
    double number = 0.0;      // number: its value
  };

  std::vector<Step> code;  // postfix order
  // Runs of digits and dots that contain ":i"; the counter's digits join the run, so ":i0" with
  // the counter at 3 reads as 30.
  std::vector<std::string> counter_numbers;
  int stack_needed = 0;
  bool valid = false;
  bool uses_counter = false;
};

CompiledValue compile_value(std::string_view token);

// nullopt for division by zero, an unreadable number or a result that is not finite.
std::optional<double> evaluate(const CompiledValue& value, std::uint32_t counter);

struct EvalResult {
  double value = 0.0;
  std::string error;

  bool ok() const { return error.empty(); }
};

std::string not_a_number_message(std::string_view token);

// Every ":i" in the token is the counter written in decimal. Failures read
// "not a number: {token}" with the token as written.
EvalResult eval(std::string_view token, std::uint32_t counter);

}  // namespace perchkin::logo
