#include "StopSignals.h"

#include <atomic>
#include <csignal>

namespace zr7cli {

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void OnStopSignal(int) { stopRequested.store(true); }

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Reads and writes of the port go on; the request is seen at the next safe point.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return stopRequested.load(); }

void StopAwareClock::SleepMs(int milliseconds) { SleepUnless(milliseconds, [] { return false; }); }

std::uint64_t StopAwareClock::NowMs() const { return zr7::DefaultClock().NowMs(); }

void StopAwareClock::SleepUnless(int milliseconds, const std::function<bool()>& stop) {
  zr7::DefaultClock().SleepUnless(milliseconds, [&] { return StopRequested() || stop(); });
}

}  // namespace zr7cli
