// Windows: QueryPerformanceCounter and a high-resolution waitable timer.
#include "app/clock.h"
#include "win/desktop.h"

#include <windows.h>

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

double SystemClock::now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

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

int current_local_hour() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_s(&local, &now) != 0) return 12;
  return local.tm_hour;
}

}  // namespace perchkin
