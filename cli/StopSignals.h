#pragma once
// Ctrl+C and SIGTERM (a station script's time-out) ask the running command to stop where it
// safely can: a transfer at its next block, a wait at once. The command then ends the board's
// session as usual and the program exits 1, so the next run finds the board ready.

#include "link/Clock.h"

namespace zr7cli {

// From here on SIGINT and SIGTERM set the stop request instead of ending the process.
void InstallStopHandlers();
bool StopRequested();

// The real clock, whose waits end early once a stop is requested.
class StopAwareClock final : public zr7::Clock {
 public:
  void SleepMs(int milliseconds) override;
  std::uint64_t NowMs() const override;
  void SleepUnless(int milliseconds, const std::function<bool()>& stop) override;
};

}  // namespace zr7cli
