#include "link/Clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace zr7 {

void SystemClock::SleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SystemClock::SleepUnless(int milliseconds, const std::function<bool()>& stop) {
  constexpr auto kSlice = std::chrono::milliseconds(5);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  while (!stop()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, kSlice));
  }
}

std::uint64_t SystemClock::NowMs() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Clock& DefaultClock() {
  static SystemClock clock;  // stateless, so sharing it between tests is harmless
  return clock;
}

}  // namespace zr7
