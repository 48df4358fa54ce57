#pragma once
// The real clock, with every wait written down so a test can check the protocol's pauses.

#include <mutex>
#include <vector>

#include "link/Clock.h"

namespace zr7test {

class RecordingClock : public zr7::Clock {
 public:
  void SleepMs(int milliseconds) override {
    {
      std::lock_guard lock(mutex_);
      sleeps_.push_back(milliseconds);
    }
    real_.SleepMs(milliseconds);
  }
  std::uint64_t NowMs() const override { return real_.NowMs(); }
  std::vector<int> Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> sleeps_;
  zr7::SystemClock real_;
};

}  // namespace zr7test

namespace zr7test {

// Writes every wait down and returns at once, advancing its own time: for protocols whose
// pauses would make a test slow (the DataFlash erase waits 70 ms per block).
class InstantClock : public zr7::Clock {
 public:
  void SleepMs(int milliseconds) override {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(milliseconds);
    if (milliseconds > 0) nowMs_ += static_cast<std::uint64_t>(milliseconds);
  }
  std::uint64_t NowMs() const override {
    std::lock_guard lock(mutex_);
    return nowMs_;
  }
  std::vector<int> Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> sleeps_;
  std::uint64_t nowMs_ = 0;
};

}  // namespace zr7test
