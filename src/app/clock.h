// The frame loop's time source: a monotonic clock and an accurate sleep, or a virtual clock in
// tests.
#pragma once

namespace perchkin {

class LoopClock {
 public:
  virtual ~LoopClock() = default;
  // Seconds on a monotonic clock.
  virtual double now() = 0;
  virtual void sleep(double seconds) = 0;
  // The hour of the local wall clock (0-23).
  virtual int local_hour() = 0;
};

// The system's monotonic clock; sleeps are accurate to about a millisecond.
class SystemClock final : public LoopClock {
 public:
  SystemClock();
  ~SystemClock() override;
  SystemClock(const SystemClock&) = delete;
  SystemClock& operator=(const SystemClock&) = delete;
  double now() override;
  void sleep(double seconds) override;
  int local_hour() override;

 private:
  [[maybe_unused]] void* timer_ = nullptr;  // the Windows waitable timer
};

// A clock that only moves when slept or advanced.
class VirtualClock final : public LoopClock {
 public:
  double t = 0.0;
  int hour = 12;
  double now() override { return t; }
  int local_hour() override { return hour; }
  void sleep(double seconds) override {
    if (seconds > 0) t += seconds;
  }
};

}  // namespace perchkin
