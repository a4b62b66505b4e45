// Worst-case turtle programs: each must tokenize, parse and run in well under 20 ms, because the
// command runs on the user-interface thread inside one world tick.
#include <benchmark/benchmark.h>

#include <string>

#include "logo/samples.h"
#include "logo/turtle_command.h"

namespace {

using perchkin::logo::draw_turtle_program;
using perchkin::logo::kMaxProgramBytes;

// Repeats unit until the program would pass the byte limit.
std::string fill(std::string_view head, std::string_view unit, std::string_view join,
                 std::string_view tail) {
  std::string body(unit);
  while (head.size() + body.size() + join.size() + unit.size() + tail.size() <= kMaxProgramBytes) {
    body += join;
    body += unit;
  }
  return std::string(head) + body + std::string(tail);
}

// expected_error is empty for programs that draw.
void run_program(benchmark::State& state, const std::string& prog,
                 std::string_view expected_error) {
  for (auto _ : state) {
    auto result = draw_turtle_program(prog, {960, 540}, "red", 4);
    if (result.error != expected_error) {
      state.SkipWithError(result.ok() ? "drew instead of failing" : "failed unexpectedly");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
}

constexpr std::string_view kDraws;
constexpr std::string_view kTooLong = "program runs too long";
constexpr std::string_view kTooBig = "drawing is too big";

// 50000 statements that only turn: the statement limit ends it.
void BM_StatementLimit(benchmark::State& state) {
  run_program(state, "repeat 2000 [repeat 2000 [rt 1]]", kTooLong);
}
BENCHMARK(BM_StatementLimit)->Unit(benchmark::kMillisecond);

// 50000 statements run to completion, the last one drawing.
void BM_StatementsToTheLimit(benchmark::State& state) {
  run_program(state, "repeat 24 [repeat 1999 [rt 1]] repeat 1997 [rt 1] fd 10", kDraws);
}
BENCHMARK(BM_StatementsToTheLimit)->Unit(benchmark::kMillisecond);

// 20000 points, the most a drawing may hold.
void BM_PointLimitLines(benchmark::State& state) {
  run_program(state, "repeat 10 [repeat 2000 [fd 1 rt 1]]", kDraws);
}
BENCHMARK(BM_PointLimitLines)->Unit(benchmark::kMillisecond);

void BM_PointLimitArcs(benchmark::State& state) {
  run_program(state, "repeat 2000 [arc 360 :i pu pd]", kTooBig);
}
BENCHMARK(BM_PointLimitArcs)->Unit(benchmark::kMillisecond);

// A new stroke for every other move until the point limit.
void BM_PenChanges(benchmark::State& state) {
  run_program(state, "repeat 2000 [repeat 12 [fd 1 pu fd 1 pd]]", kTooBig);
}
BENCHMARK(BM_PenChanges)->Unit(benchmark::kMillisecond);

// A value as long as the program allows, re-evaluated for every round number 1..2000.
void BM_LongCounterExpression(benchmark::State& state) {
  run_program(state, fill("repeat 25 [repeat 2000 [rt 0*(", ":i", "+", ")]]"), kTooLong);
}
BENCHMARK(BM_LongCounterExpression)->Unit(benchmark::kMillisecond);

// The same with every number too long for the exact integer route.
void BM_LongCounterDigits(benchmark::State& state) {
  run_program(state, fill("repeat 25 [repeat 2000 [rt 0*(", "12345678901234567:i", "+", ")]]"),
              kTooLong);
}
BENCHMARK(BM_LongCounterDigits)->Unit(benchmark::kMillisecond);

// Signs and products stop the loads from folding into the sums.
void BM_CounterSignsAndProducts(benchmark::State& state) {
  run_program(state, fill("repeat 25 [repeat 2000 [rt 0*(", "-:i*:i", "-", ")]]"), kTooLong);
}
BENCHMARK(BM_CounterSignsAndProducts)->Unit(benchmark::kMillisecond);

void BM_ShortCounterNumbers(benchmark::State& state) {
  run_program(state, fill("repeat 25 [repeat 2000 [rt 0*(", "1:i", "+", ")]]"), kTooLong);
}
BENCHMARK(BM_ShortCounterNumbers)->Unit(benchmark::kMillisecond);

void BM_LongCounterFractions(benchmark::State& state) {
  run_program(state, fill("repeat 25 [repeat 2000 [rt 0*(", ".123456789012345:i", "+", ")]]"),
              kTooLong);
}
BENCHMARK(BM_LongCounterFractions)->Unit(benchmark::kMillisecond);

// One number of thousands of digits, different in every round.
void BM_HugeCounterNumber(benchmark::State& state) {
  run_program(state, fill("repeat 25 [repeat 2000 [rt 0*.", ":i", "", "]]"), kTooLong);
}
BENCHMARK(BM_HugeCounterNumber)->Unit(benchmark::kMillisecond);

// A long constant value in every statement.
void BM_LongConstantExpression(benchmark::State& state) {
  run_program(state, fill("repeat 2000 [repeat 2000 [rt ", "(1)", "*", "]]"), kTooLong);
}
BENCHMARK(BM_LongConstantExpression)->Unit(benchmark::kMillisecond);

// As many statements as the text holds, nested as deep as allowed.
void BM_ManyTokensDeep(benchmark::State& state) {
  run_program(state,
              fill("repeat 2 [repeat 2 [repeat 2 [repeat 2 [repeat 2 [repeat 2 [", "rt :i", " ",
                   "]]]]]] fd 1"),
              kDraws);
}
BENCHMARK(BM_ManyTokensDeep)->Unit(benchmark::kMillisecond);

void BM_SamplePrograms(benchmark::State& state) {
  for (auto _ : state) {
    for (std::string_view prog : perchkin::logo::kSamplePrograms) {
      benchmark::DoNotOptimize(draw_turtle_program(prog, {960, 540}, "red", 4));
    }
  }
}
BENCHMARK(BM_SamplePrograms)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
