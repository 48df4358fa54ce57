#include "link/Clock.h"

#include <chrono>
#include <thread>

namespace zr7 {

void SystemClock::SleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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
