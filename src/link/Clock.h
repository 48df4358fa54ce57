#pragma once
// Waits and the millisecond tick of the protocol, injectable so tests can see every wait.

#include <cstdint>

namespace zr7 {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(int milliseconds) = 0;
  virtual std::uint64_t NowMs() const = 0;
};

class SystemClock final : public Clock {
 public:
  void SleepMs(int milliseconds) override;
  std::uint64_t NowMs() const override;
};

// The process's real clock.
Clock& DefaultClock();

}  // namespace zr7
