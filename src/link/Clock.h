#pragma once
// Waits and the millisecond tick of the protocol, injectable so tests can see every wait.

#include <cstdint>
#include <functional>

namespace zr7 {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(int milliseconds) = 0;
  virtual std::uint64_t NowMs() const = 0;
  // A wait that Cancel or Ctrl+C may end early: `stop` is asked every few milliseconds of it.
  // A clock that does not really wait just waits.
  virtual void SleepUnless(int milliseconds, const std::function<bool()>& stop) {
    (void)stop;
    SleepMs(milliseconds);
  }
};

class SystemClock final : public Clock {
 public:
  void SleepMs(int milliseconds) override;
  std::uint64_t NowMs() const override;
  void SleepUnless(int milliseconds, const std::function<bool()>& stop) override;
};

// The process's real clock.
Clock& DefaultClock();

}  // namespace zr7
