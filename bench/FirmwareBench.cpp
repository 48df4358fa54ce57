// The firmware update and the board search against the simulated board with real timing, set
// against the least time the line and the protocol's own pauses allow. A plain program, run by
// hand; the update cases take about ten seconds each.
//
// Update (normal and reduced speed, the board asking for its confirmation sequence): the wall
// time of UpdateFirmware, from just before the call to just after, against
//
//   floor = W + P - O
//
//   W  wire time of every byte in the simulator's wire log that was not dropped, both
//      directions, each at its own baud rate (10 bits per byte): the identification and version
//      reads, the loader entry and confirmation, 3072 blocks of 4 bytes with their CRs and the
//      final identification read.
//   P  the update's pauses (enter loader, its reply, after each confirmation byte and after the
//      sequence, before the first block, after the blocks), nominal, as the front-end asked
//      its Clock for them.
//   O  the part of W that lies inside one of those pauses: bytes handed to the line keep moving
//      while the front-end sleeps, so they are not counted twice.
//
// The connections' own waits (wake-up, identification) are not in the floor; they are shown
// beside it, with the ratio they leave. Target: measured <= 1.03 x floor, PASS or MISS.
//
// Search: eight slots, the board on COM8, the other seven paths absent. The time of SearchBoard
// beyond that board's own exchange (ReadVersion, identification, Quit) done alone on COM8; the
// best of several runs of each. Target: under 50 ms.
//
// The board thread runs with a 1 ns timer slack so that its reply bytes reach the host on time.
//
// Exit status: 0 every case worked and met its target, 1 a case failed, 2 a target missed.

#include <sys/prctl.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BoardSimulator.h"
#include "WireLog.h"
#include "text/MessageCatalog.h"
#include "support/BoardRig.h"
#include "support/ScriptedOperator.h"
#include "link/BoardLink.h"
#include "link/BoardManagement.h"
#include "link/ComPort.h"
#include "link/Commands.h"
#include "link/FirmwareUpdate.h"
#include "link/PortMap.h"

namespace {

using Steady = std::chrono::steady_clock;
using Nanos = std::chrono::nanoseconds;
using Bytes = std::vector<std::uint8_t>;

constexpr double kTarget = 1.03;
constexpr double kSearchTargetMs = 50.0;
constexpr int kUpdatePort = 4;
constexpr int kSearchPort = 8;
constexpr int kSearchRuns = 5;
constexpr int kSearchIdentMs = 20;  // the search's wait between CmdGetIdent and its reply
constexpr zr7::LoaderConfirmation kSequence = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

double Sec(Nanos d) { return std::chrono::duration<double>(d).count(); }
double Ms(Nanos d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Wait {
  Steady::time_point start;
  int nominalMs;
};

// Really sleeps, and writes down each wait with its start so it can be set against the wire log.
class RecordingClock final : public zr7::Clock {
 public:
  void SleepMs(int milliseconds) override {
    const Steady::time_point start = Steady::now();
    {
      std::lock_guard lock(mutex_);
      waits_.push_back({start, milliseconds});
    }
    real_.SleepMs(milliseconds);
  }
  std::uint64_t NowMs() const override { return real_.NowMs(); }
  std::vector<Wait> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(waits_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<Wait> waits_;
  zr7::SystemClock real_;
};

// Starts a board whose thread alone gets the tight timer slack.
bool StartTight(zr7sim::BoardSimulator& sim) {
  const long slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  std::string error;
  const bool ok = sim.Start(&error);
  prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
  if (!ok) std::fprintf(stderr, "simulator: %s\n", error.c_str());
  return ok;
}

zr7sim::SimOptions RealBoard() {
  zr7sim::SimOptions o;
  o.timing = zr7sim::Timing::Real;
  return o;
}

// The pauses of the transfer, in the order the front-end takes them.
std::vector<int> TablePauses(zr7::FirmwareSpeed speed, bool confirmation) {
  const bool normal = speed == zr7::FirmwareSpeed::Normal;
  std::vector<int> p{normal ? 50 : 100, normal ? 50 : 100};
  if (confirmation) {
    p.insert(p.end(), 8, normal ? 15 : 50);
    p.push_back(normal ? 20 : 50);
  }
  p.push_back(normal ? 25 : 50);
  for (std::size_t j = 0; j < zr7::FirmwareBlockCount; ++j) {
    if (j % 32 == 31)
      p.push_back(normal ? 17 : 30);
    else if (!normal)
      p.push_back(5);
  }
  return p;
}

struct Span {
  Steady::time_point from, to;
};

Nanos Intersect(Span a, Span b) {
  const auto from = std::max(a.from, b.from), to = std::min(a.to, b.to);
  return to > from ? Nanos(to - from) : Nanos::zero();
}

// ---- the update -------------------------------------------------------------------------------

int UpdateCase(zr7::FirmwareSpeed speed, const std::string& imagePath, const Bytes& image) {
  const char* name = speed == zr7::FirmwareSpeed::Normal ? "normal" : "reduced";
  RecordingClock clock;
  zr7test::BoardRig::Setup setup;
  setup.sim = RealBoard();
  setup.sim.loaderConfirmation = kSequence;
  setup.clock = &clock;
  setup.start = false;
  setup.boardPort = kUpdatePort;
  zr7test::BoardRig rig("ATmega8", setup);
  if (!StartTight(rig.sim)) return 1;
  rig.PlugIn();
  zr7sim::BoardSimulator& sim = rig.sim;
  zr7::ScriptedOperator& op = rig.op;
  zr7::BoardLink& link = rig.link;

  const zr7::FirmwareUpdateRequest request{kUpdatePort, imagePath, kSequence, speed};
  const Steady::time_point from = Steady::now();
  const bool ok = zr7::UpdateFirmware(link, request, [](const zr7::FirmwareVersions&) { return true; });
  const Steady::time_point to = Steady::now();
  const Span call{from, to};
  if (!ok || sim.FirmwareImage() != image) {
    std::printf("update, %s speed: FAILED (%s)\n", name, ok ? "image differs" : op.LastStatus().c_str());
    for (const auto& b : op.Boxes()) std::printf("  box: %s\n", b.text.c_str());
    for (const auto& n : sim.Log().Notes()) std::printf("  board: %s\n", n.c_str());
    const std::vector<zr7sim::WireCommand> commands = sim.Log().Commands();
    const auto blocks = std::count_if(commands.begin(), commands.end(),
                                      [](const zr7sim::WireCommand& c) { return c.name == "LoaderBlock"; });
    std::printf("  blocks taken: %ld\n", static_cast<long>(blocks));
    return 1;
  }

  // W: each byte's ten bits, ending when the log says it arrived; only what lies in the call.
  Nanos wire{};
  std::size_t host = 0, board = 0, dropped = 0;
  std::vector<Span> spans;
  for (const zr7sim::WireByte& b : sim.Log().Bytes()) {
    if (b.dropped) {
      ++dropped;
      continue;
    }
    const Nanos t(10'000'000'000LL / b.boardBaud);
    const Span s{b.time - t, b.time};
    const Nanos in = Intersect(s, call);
    if (in == Nanos::zero()) continue;
    wire += in;
    (b.direction == zr7sim::Direction::HostToBoard ? host : board) += 1;
    spans.push_back(s);
  }
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });

  // P: the table's pauses, found in order among all the waits; the rest are the connections'.
  const std::vector<Wait> waits = clock.Take();
  const std::vector<int> table = TablePauses(speed, true);
  std::vector<int> nominal;
  for (const Wait& w : waits) nominal.push_back(w.nominalMs);
  const auto at = std::search(nominal.begin(), nominal.end(), table.begin(), table.end());
  if (at == nominal.end()) {
    std::printf("update, %s speed: FAILED (the pauses taken are not the table's)\n", name);
    return 1;
  }
  const std::size_t first = static_cast<std::size_t>(at - nominal.begin());
  Nanos pauses{}, others{}, overlap{}, othersOverlap{};
  for (std::size_t i = 0; i < waits.size(); ++i) {
    const Span s{waits[i].start, waits[i].start + std::chrono::milliseconds(waits[i].nominalMs)};
    Nanos o{};
    auto it = std::lower_bound(spans.begin(), spans.end(), s.from - std::chrono::milliseconds(1),
                               [](const Span& x, Steady::time_point t) { return x.from < t; });
    for (; it != spans.end() && it->from < s.to; ++it) o += Intersect(*it, s);
    if (i >= first && i < first + table.size()) {
      pauses += std::chrono::milliseconds(waits[i].nominalMs);
      overlap += o;
    } else {
      others += std::chrono::milliseconds(waits[i].nominalMs);
      othersOverlap += o;
    }
  }

  const Nanos measured = to - from;
  const Nanos floor = wire + pauses - overlap;
  const Nanos withWaits = floor + others - othersOverlap;
  const double ratio = Sec(measured) / Sec(floor);
  const bool pass = ratio <= kTarget;
  std::printf("update, %s speed (confirmation sequence asked):\n", name);
  std::printf("  measured %.3f s   floor %.3f s   ratio %.4f   %s (target <= %.2f)\n", Sec(measured),
              Sec(floor), ratio, pass ? "PASS" : "MISS", kTarget);
  std::printf("  floor = wire %.3f s (%zu host + %zu board bytes, %zu dropped) + pauses %.3f s (%zu)"
              " - overlap %.1f ms\n",
              Sec(wire), host, board, dropped, Sec(pauses), table.size(), Ms(overlap));
  std::printf("  connection waits outside the floor: %.3f s (%zu waits, %.1f ms overlap);"
              " with them %.3f s, ratio %.4f\n",
              Sec(others), waits.size() - table.size(), Ms(othersOverlap), Sec(withWaits),
              Sec(measured) / Sec(withWaits));
  // Where the line stood still: a reply waiting for the host's next byte, a host byte waiting
  // for the board's reply or for the host's next byte of the block.
  {
    const std::vector<zr7sim::WireByte> bytes = sim.Log().Bytes();
    Nanos hostTurn{}, boardTurn{}, inBlock{};
    std::size_t hostTurns = 0, boardTurns = 0, inBlocks = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
      const auto& a = bytes[i - 1];
      const auto& b = bytes[i];
      if (a.dropped || b.dropped || a.time < from || b.time > to) continue;
      const Nanos gap = b.time - Nanos(10'000'000'000LL / b.boardBaud) - a.time;
      if (gap <= Nanos::zero() || gap > std::chrono::milliseconds(5)) continue;
      const bool aHost = a.direction == zr7sim::Direction::HostToBoard;
      const bool bHost = b.direction == zr7sim::Direction::HostToBoard;
      if (!aHost && bHost) hostTurn += gap, ++hostTurns;
      else if (aHost && !bHost) boardTurn += gap, ++boardTurns;
      else if (aHost && bHost) inBlock += gap, ++inBlocks;
    }
    std::printf("  line idle under 5 ms: host after a reply %.3f s (%zu), board after a block %.3f s (%zu),"
                " between host bytes %.3f s (%zu)\n",
                Sec(hostTurn), hostTurns, Sec(boardTurn), boardTurns, Sec(inBlock), inBlocks);
  }
  return pass ? 0 : 2;
}

// ---- the search -------------------------------------------------------------------------------

// The board on the last slot, the seven others naming paths that do not exist.
struct SearchRig {
  SearchRig()
      : board("ATmega8", [this] {
          zr7test::BoardRig::Setup setup;
          setup.sim = RealBoard();
          setup.clock = &clock;
          setup.start = false;
          setup.boardPort = kSearchPort;
          return setup;
        }()) {
    }
  // After the board has started: its own slot, and paths that do not exist on the others.
  void PlugIn() {
    board.PlugIn();
    for (int i = 0; i < 8; ++i)
      if (i != kSearchPort - 1) board.bench.ports.Set(i, "/nonexistent/zr7-board-" + std::to_string(i + 1));
    board.bench.port.SetPortMap(board.bench.ports);
  }
  RecordingClock clock;
  zr7test::BoardRig board;
  zr7::ComPort& port = board.bench.port;
  zr7::BoardLink& link = board.link;
};

// The board's own exchange, as the search does it on one port.
bool Exchange(SearchRig& rig) {
  if (!rig.link.ReadVersion(kSearchPort, true, true, false)) return false;
  bool ok = false;
  if (rig.port.SendByte(zr7::CmdGetIdent)) {
    rig.clock.SleepMs(kSearchIdentMs);
    const int length = rig.port.ReceiveByte();
    if (length >= 0) {
      const std::uint8_t* bytes = rig.port.Receive(static_cast<std::size_t>(length) + 1);
      ok = bytes && bytes[length] == zr7::ReplyCr;
    }
  }
  return rig.link.Quit() && ok;
}

int SearchCase() {
  SearchRig rig;
  zr7sim::BoardSimulator& sim = rig.board.sim;
  if (!StartTight(sim)) return 1;
  rig.PlugIn();
  Nanos alone = Nanos::max(), search = Nanos::max();
  for (int run = 0; run < kSearchRuns; ++run) {
    Steady::time_point from = Steady::now();
    if (!Exchange(rig)) {
      std::printf("search: FAILED (the board's exchange alone)\n");
      return 1;
    }
    alone = std::min(alone, Nanos(Steady::now() - from));
    sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, std::chrono::milliseconds(20));

    from = Steady::now();
    const zr7::SearchResult found = zr7::BoardManagement(rig.link).SearchBoard();
    search = std::min(search, Nanos(Steady::now() - from));
    if (found.port != kSearchPort || found.ports.size() != 1) {
      std::printf("search: FAILED (found: %s)\n", found.listText.c_str());
      return 1;
    }
    sim.Log().WaitForCommands(sim.Log().Commands().size() + 1, std::chrono::milliseconds(20));
  }
  const double beyond = Ms(search - alone);
  const bool pass = beyond < kSearchTargetMs;
  std::printf("search, eight slots, board on COM%d, seven paths absent (best of %d):\n", kSearchPort,
              kSearchRuns);
  std::printf("  search %.1f ms   board's exchange alone %.1f ms   beyond %.1f ms   %s (target < %.0f ms)\n",
              Ms(search), Ms(alone), beyond, pass ? "PASS" : "MISS", kSearchTargetMs);
  return pass ? 0 : 2;
}

}  // namespace

int main() {
  Bytes image(zr7::FirmwareImageSize);
  std::mt19937 random(12345);
  for (auto& b : image) b = static_cast<std::uint8_t>(random());
  char path[] = "/tmp/zr7-fw-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    std::perror("mkstemp");
    return 1;
  }
  close(fd);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

  int status = 0;
  auto note = [&status](int r) { status = (status == 1 || r == 1) ? 1 : std::max(status, r); };
  note(UpdateCase(zr7::FirmwareSpeed::Normal, path, image));
  note(UpdateCase(zr7::FirmwareSpeed::Reduced, path, image));
  note(SearchCase());
  std::remove(path);
  return status;
}
