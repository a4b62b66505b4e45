// Linux: CLOCK_MONOTONIC and clock_nanosleep with an absolute deadline.
#include "app/clock.h"
#include "base/pace.h"

#include <cerrno>
#include <cmath>
#include <ctime>

namespace perchkin {

double monotonic_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void sleep_until(double deadline) {
  if (!std::isfinite(deadline) || deadline <= 0.0 || deadline > monotonic_seconds() + 1.0) return;
  timespec ts{};
  const double whole = std::floor(deadline);
  ts.tv_sec = static_cast<time_t>(whole);
  ts.tv_nsec = static_cast<long>((deadline - whole) * 1e9);
  // Only an interruption is worth another try: any other error would come back at once,
  // and the loop would spin.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

SystemClock::SystemClock() = default;
SystemClock::~SystemClock() = default;

double SystemClock::now() { return monotonic_seconds(); }

void SystemClock::sleep(double seconds) {
  if (seconds <= 0) return;
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  const auto nanos = static_cast<long long>(seconds * 1e9);
  deadline.tv_sec += static_cast<time_t>(nanos / 1'000'000'000);
  deadline.tv_nsec += static_cast<long>(nanos % 1'000'000'000);
  if (deadline.tv_nsec >= 1'000'000'000) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1'000'000'000;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

int SystemClock::local_hour() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 12;
  return local.tm_hour;
}

}  // namespace perchkin
