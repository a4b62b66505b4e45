#include "logo/expr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "crowd/rng.h"
#include "logo/reference_eval.h"

namespace perchkin::logo {
namespace {

double value_of(std::string_view token, std::uint32_t counter = 0) {
  const EvalResult r = eval(token, counter);
  EXPECT_TRUE(r.ok()) << token << ": " << r.error;
  return r.ok() ? *r : 0.0;
}

std::string error_of(std::string_view token, std::uint32_t counter = 0) {
  return eval(token, counter).error;
}

TEST(Eval, PrecedenceAssociativityAndSigns) {
  EXPECT_EQ(value_of("(2+3)*4"), 20.0);
  EXPECT_EQ(value_of("2+3*4"), 14.0);
  EXPECT_EQ(value_of("2-3-4"), -5.0);
  EXPECT_EQ(value_of("8/4/2"), 1.0);
  EXPECT_EQ(value_of("--3"), 3.0);
  EXPECT_EQ(value_of("-(2+1)*+2"), -6.0);
  EXPECT_EQ(value_of(" 1 + 2 "), 3.0);
  EXPECT_EQ(value_of(".5"), 0.5);
  EXPECT_EQ(value_of("5."), 5.0);
  EXPECT_EQ(value_of("007"), 7.0);
}

TEST(Eval, CounterDigitsJoinTheNumberAroundThem) {
  EXPECT_EQ(value_of(":i*3", 7), 21.0);
  EXPECT_EQ(value_of(":i", 0), 0.0);
  EXPECT_EQ(value_of(":i0", 3), 30.0);
  EXPECT_EQ(value_of("1:i", 2000), 12000.0);
  EXPECT_EQ(value_of(".:i", 2), 0.2);
  EXPECT_EQ(value_of(":i.:i", 12), 12.12);
  EXPECT_EQ(value_of(":i:i", 5), 55.0);
  // Long runs take the text route and must agree with reading the digits directly.
  EXPECT_EQ(value_of("1234567890123:i", 2000), 12345678901232000.0);
  EXPECT_EQ(value_of("0.0000000000000000000001:i", 7), 0.00000000000000000000017);
}

TEST(Eval, FailuresNameTheTokenAsWritten) {
  EXPECT_EQ(error_of("10/0"), "not a number: 10/0");
  EXPECT_EQ(error_of(":i/0", 5), "not a number: :i/0");
  EXPECT_EQ(error_of("10/(1-1)"), "not a number: 10/(1-1)");
  EXPECT_EQ(error_of("abc"), "not a number: abc");
  for (const char* bad :
       {"", "1.2.3", ".", "1+", "()", "(1", "1)", "2 3", "+", ":j", "1e5", "[", "\xC3\xA9"}) {
    EXPECT_EQ(error_of(bad), std::string("not a number: ") + bad) << bad;
  }
}

TEST(Eval, NestingOfParenthesesAndSignsStopsAt32) {
  const auto nested = [](const std::string& open, int depth, const std::string& close) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    text += "1";
    for (int i = 0; i < depth; ++i) text += close;
    return text;
  };
  EXPECT_EQ(value_of(nested("(", 32, ")")), 1.0);
  EXPECT_FALSE(eval(nested("(", 33, ")"), 0).ok());
  EXPECT_EQ(value_of(nested("-", 32, "")), 1.0);
  EXPECT_FALSE(eval(nested("-", 33, ""), 0).ok());
  EXPECT_EQ(value_of(nested("-(", 16, ")")), 1.0);
  EXPECT_FALSE(eval("-" + nested("-(", 16, ")"), 0).ok());
  // Deep nesting is refused, not recursed into.
  EXPECT_FALSE(eval(nested("(", 100000, ")"), 0).ok());
}

TEST(Eval, ResultsMustBeFinite) {
  const std::string big(300, '9');
  EXPECT_FALSE(eval(big + "*" + big, 0).ok());
  EXPECT_FALSE(eval(std::string(400, '9'), 0).ok());
  EXPECT_FALSE(eval("0*" + std::string(400, '9'), 0).ok());
  EXPECT_FALSE(eval(std::string(400, '9') + "-" + std::string(400, '9'), 0).ok());
  // An overflow, in a reading or in between, that comes back into range is fine.
  EXPECT_EQ(value_of("1/(" + big + "*" + big + ")"), 0.0);
  EXPECT_EQ(value_of("1/" + std::string(400, '9')), 0.0);
  EXPECT_EQ(value_of("-1/" + std::string(400, '9') + ".5"), -0.0);
  EXPECT_EQ(value_of("1/" + std::string(900, '9') + ":i", 3), 0.0);
  // Too small to tell from zero reads as zero.
  EXPECT_EQ(value_of("." + std::string(400, '0') + "1"), 0.0);
}

TEST(Eval, VeryLongFractionsStillRoundCorrectly) {
  // Exactly half way between 1 and the next double; ties go to the even one, 1.
  const std::string half_way = "1.00000000000000011102230246251565404236316680908203125";
  const std::string zeros(900, '0');
  EXPECT_EQ(value_of(half_way + zeros), 1.0);
  EXPECT_EQ(value_of(half_way + zeros + ":i", 0), 1.0);
  // Anything more, however far past the digits that are kept, rounds up.
  const double above = std::nextafter(1.0, 2.0);
  EXPECT_EQ(value_of(half_way + zeros + ":i", 5), above);
  EXPECT_EQ(value_of(half_way + zeros + ":i" + zeros + "1", 0), above);
  EXPECT_EQ(value_of(half_way + ":i" + zeros + "1", 0), above);
}

}  // namespace
}  // namespace perchkin::logo

namespace perchkin::logo {
namespace {

// Random tokens built from the value alphabet, read both ways.
std::string random_token(Xorshift64& rng) {
  static constexpr std::string_view kPieces[] = {"0", "1", "7", "9", ".", ":i", ":i", "+",
                                                 "-", "*", "/", "(", ")", " ",  "00", "5."};
  std::string token;
  const std::size_t length = 1 + rng.pick(24);
  for (std::size_t i = 0; i < length; ++i) token += kPieces[rng.pick(std::size(kPieces))];
  return token;
}

TEST(CompiledValue, MatchesAPlainReadingOfTheText) {
  Xorshift64 rng(20261207);
  int readable = 0;
  for (int n = 0; n < 20000; ++n) {
    const std::string token = random_token(rng);
    const auto counter = static_cast<std::uint32_t>(rng.chance(0.9) ? rng.pick(2001) : rng.next());
    const std::optional<double> expected = reference::eval(token, counter);
    const std::optional<double> actual = evaluate(compile_value(token), counter);
    ASSERT_EQ(expected.has_value(), actual.has_value()) << "'" << token << "' " << counter;
    if (expected) {
      ++readable;
      ASSERT_EQ(*expected, *actual) << "'" << token << "' " << counter;
    }
  }
  EXPECT_GT(readable, 1000);  // the generator must reach past the error paths
}

TEST(CompiledValue, LongCounterNumbersMatchAPlainReading) {
  Xorshift64 rng(7);
  for (int n = 0; n < 300; ++n) {
    std::string token;
    const std::size_t length = 10 + rng.pick(n % 10 == 0 ? 2000 : 60);
    const std::size_t dot = rng.pick(length + 1);
    for (std::size_t i = 0; i < length; ++i) {
      if (i == dot) token += '.';
      token += rng.chance(0.2) ? std::string(":i")
                               : std::string(1, static_cast<char>('0' + rng.pick(10)));
    }
    if (rng.chance(0.3)) {  // a tiny fraction: leading zeros, then the digits
      std::erase(token, '.');
      token = "0.0000000000000000000000" + token;
    }
    for (std::uint32_t counter : {0u, 1u, 9u, 10u, 999u, 2000u, 4294967295u}) {
      const std::optional<double> expected = reference::eval(token, counter);
      const std::optional<double> actual = evaluate(compile_value(token), counter);
      ASSERT_EQ(expected.has_value(), actual.has_value()) << token << " " << counter;
      if (expected) {
        ASSERT_EQ(*expected, *actual) << token << " " << counter;
      }
    }
  }
}

}  // namespace
}  // namespace perchkin::logo
