// Local time and random numbers.
#pragma once

namespace tav {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime now() const = 0;
  // Milliseconds since an arbitrary start; never goes backwards.
  virtual long long monotonic_ms() const = 0;
};

class Random {
 public:
  virtual ~Random() = default;
  // Seeds the generator from the system clock.
  virtual void seed_from_clock() = 0;
  // A fraction in [0, 1).
  virtual double next() = 0;
};

}  // namespace tav
