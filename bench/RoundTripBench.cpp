// The floor of every transfer: one command byte to the simulated board and its CR back,
// through the real serial code on a pseudo-terminal. Later transfer benchmarks compare with it.
// Target: median round trip under 0.3 ms.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "BoardSimulator.h"
#include "link/Commands.h"
#include "link/ComPort.h"

namespace {

void BM_CommandAcknowledgeRoundTrip(benchmark::State& state) {
  zr7sim::BoardSimulator sim;
  std::string error;
  if (!sim.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  zr7::PortMap map;
  map.Set(0, sim.SlavePath());
  zr7::ComPort port(map);
  if (!port.Open(0, zr7::LowBaud)) {
    state.SkipWithError("cannot open the simulator's port");
    return;
  }
  std::vector<double> samplesUs;
  samplesUs.reserve(1000);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    // CmdFlashSelect: one byte out, CR back, no lasting effect on an AVR target.
    if (!port.SendByte(zr7::CmdFlashSelect) || port.ReceiveByte() != zr7::ReplyCr) {
      state.SkipWithError("board did not acknowledge");
      break;
    }
    samplesUs.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  port.Disconnect();
  if (!samplesUs.empty()) {
    std::sort(samplesUs.begin(), samplesUs.end());
    state.counters["median_us"] = samplesUs[samplesUs.size() / 2];
    state.counters["p99_us"] = samplesUs[samplesUs.size() * 99 / 100];
  }
}
BENCHMARK(BM_CommandAcknowledgeRoundTrip)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
