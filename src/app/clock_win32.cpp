// Windows: QueryPerformanceCounter and a high-resolution waitable timer.
#include "app/clock.h"
#include "base/pace.h"

#include <windows.h>

#include <cmath>
#include <ctime>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace perchkin {

SystemClock::SystemClock() {
  timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                  TIMER_ALL_ACCESS);
  // Older systems lack the high-resolution flag; a plain timer with timeBeginPeriod(1) will do.
  if (timer_ == nullptr) timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

SystemClock::~SystemClock() {
  if (timer_ != nullptr) CloseHandle(static_cast<HANDLE>(timer_));
}

double monotonic_seconds() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void sleep_until(double deadline) {
  const double seconds = deadline - monotonic_seconds();
  // A frame's wait at most; anything longer is no deadline of a frame's.
  if (!std::isfinite(seconds) || seconds <= 0.0 || seconds > 1.0) return;
  HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                        TIMER_ALL_ACCESS);
  if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(seconds * 1e7);  // relative, 100 ns units
  if (timer != nullptr && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
    WaitForSingleObject(timer, INFINITE);
  else
    Sleep(static_cast<DWORD>(seconds * 1000.0));
  if (timer != nullptr) CloseHandle(timer);
}

double SystemClock::now() { return monotonic_seconds(); }

void SystemClock::sleep(double seconds) {
  if (seconds <= 0) return;
  if (timer_ == nullptr) {
    Sleep(static_cast<DWORD>(seconds * 1000.0));
    return;
  }
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(seconds * 1e7);  // relative, 100 ns units
  if (SetWaitableTimer(static_cast<HANDLE>(timer_), &due, 0, nullptr, nullptr, FALSE))
    WaitForSingleObject(static_cast<HANDLE>(timer_), INFINITE);
  else
    Sleep(static_cast<DWORD>(seconds * 1000.0));
}

int SystemClock::local_hour() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_s(&local, &now) != 0) return 12;
  return local.tm_hour;
}

}  // namespace perchkin
