// A fixed run of simulation ticks for profilers, whose figures (instruction counts above all)
// must not depend on how long a benchmark library chooses to run:
//
//   tick_profile brain N SETTLE TICKS      the BM_BrainTick pile (N buddies, unit 1, collide)
//   tick_profile companion N SETTLE TICKS [SIZE]
//                                          the headless companion's whole world tick, unleashed
//                                          at SIZE (1 unless given; the companion's default is
//                                          9), crew added as the --bench run adds it
//
// Each run ends with the resident memory now and at its peak.
//
// Only the last TICKS ticks are measured: under callgrind, run with --instr-atstart=no and the
// settling runs uninstrumented. Without callgrind the measured ticks are timed.
#include "scenario.h"

#if defined(__has_include)
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define PERCHKIN_CALLGRIND 1
#endif
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace perchkin;

void start_measuring() {
#ifdef PERCHKIN_CALLGRIND
  CALLGRIND_START_INSTRUMENTATION;
#endif
}

void stop_measuring() {
#ifdef PERCHKIN_CALLGRIND
  CALLGRIND_STOP_INSTRUMENTATION;
#endif
}

// A hash of where every buddy is and how it moves, so that runs before and after a change of
// speed can be held to the same outcome.
std::uint64_t fingerprint(const Crew& crew) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  const auto add = [&](const void* p, std::size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 0x100000001b3ull;
  };
  for (const Buddy& b : crew.buddies) {
    for (double v :
         {b.motion.x, b.motion.y, b.motion.vx, b.motion.vy, b.motion.angle, b.mind.press_time})
      add(&v, sizeof v);
    add(&b.motion.mode, sizeof b.motion.mode);
    add(&b.rng.s, sizeof b.rng.s);
  }
  return h;
}

// Resident memory now and at its peak, from the kernel's own account (Linux only). Compare a
// run of N buddies with a run of 1 for the cost of a buddy.
void print_memory() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return;
  char line[256];
  long now_kb = -1, peak_kb = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "VmRSS:", 6) == 0) now_kb = std::strtol(line + 6, nullptr, 10);
    if (std::strncmp(line, "VmHWM:", 6) == 0) peak_kb = std::strtol(line + 6, nullptr, 10);
  }
  std::fclose(f);
  std::printf("resident %ld kB, at most %ld kB\n", now_kb, peak_kb);
}

template <class Tick>
int run(const Crew& crew, std::size_t settle, std::size_t ticks, Tick tick) {
  for (std::size_t i = 0; i < settle; ++i) tick();
  start_measuring();
  const auto t0 = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < ticks; ++i) tick();
  const auto t1 = std::chrono::steady_clock::now();
  stop_measuring();
  const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
  std::printf("%zu ticks: %.3f ms a tick; outcome %016llx\n", ticks,
              ticks ? ms / static_cast<double>(ticks) : 0.0,
              static_cast<unsigned long long>(fingerprint(crew)));
  print_memory();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: tick_profile brain|companion N SETTLE TICKS [SIZE]\n");
    return 2;
  }
  const std::string what = argv[1];
  const auto n = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
  const auto settle = static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 10));
  const auto ticks = static_cast<std::size_t>(std::strtoull(argv[4], nullptr, 10));
  if (what == "brain") {
    auto s = std::make_unique<bench::Scenario>(bench::make_drop_scenario(n, 1.0, true));
    return run(s->crew, settle, ticks, [&] { bench::brain_tick(*s); });
  }
  if (what == "companion") {
    const double size = argc == 6 ? std::strtod(argv[5], nullptr) : 1.0;
    if (!(size >= 1.0 && size <= 300.0)) {
      std::fprintf(stderr, "SIZE is a buddy size from 1 to 300\n");
      return 2;
    }
    auto c = std::make_unique<bench::Companion>(n, size);
    std::printf("%zu buddies\n", c->app.world.crew.buddies.size());
    return run(c->app.world.crew, settle, ticks, [&] { c->tick(); });
  }
  std::fprintf(stderr, "unknown run: %s\n", what.c_str());
  return 2;
}
