// Whole chip transfers against the simulated board with real timing: how close ProgramFlash and
// VerifyFlash come to the least time the line, the chip and the protocol's own waits allow.
// A plain program, run by hand: each case takes seconds to minutes.
//
//   zr7-transfer-bench [atmega128] [at45db642] [instant] [autoprogram] [all] [--at45-bytes N]
//                      [--repeat N] [--gaps N] [--sim-default-slack]
//   (no case named: atmega128 and instant)
//
// atmega128 programs and then verifies a full 128 KB image of random bytes (no erased page, so
// none is skipped); at45db642 the same with the whole 8 MiB DataFlash, which takes about half
// an hour, or with a partial image of --at45-bytes N over the same path (the output says so).
// Both at 115200 baud, against the simulator in Timing::Real.
//
// The floor of one command, from just before the call to just after:
//
//   floor = W + S - O + U
//
//   W  wire time of every byte in the simulator's wire log that was not dropped, in both
//      directions, each at the baud rate its log entry gives: 10 bits / baud per byte.
//   S  the front-end's own waits, as it asked its Clock for them (nominal milliseconds):
//      Connect's wake-up, mode and reopen waits, the reset strobe, the remainder of the AVR
//      page delay after the page write's acknowledgement, the AT45 page delay.
//   O  the part of W that lies inside a wait of S, [start, start + nominal]: bytes already
//      handed to the line keep moving while the front-end sleeps (Connect's CmdWake and
//      CmdSetMode with its CR), so they are not counted twice.
//   U  chip write time that nothing else covered: for each page write the simulator charged
//      (AVR 4C page write, AT45 buffer-to-page program at deselect; lengths from ChipTiming.h),
//      max(0, length - cover), where cover is the wire time of board bytes plus the nominal
//      waits between the write's start and the next host byte. The page delays normally cover
//      the writes whole, so U is 0 unless a wait is cut short.
//
// Target: measured within 3 % of the floor (ratio <= 1.03), PASS or MISS per command.
//
// Beyond the floor, each command also says where the rest went, from the wire log, the Clock's
// waits and the times of the front-end's calls on the serial link (a pass-through around the
// real ComPort): the front-end's own time between link calls outside its waits (mostly the
// progress window's completion poll), how far its waits overslept, and the time inside link
// calls while the line was quiet, split into the board picking up what was sent and replies
// reaching the front-end after the log says they arrived (pseudo-terminal and scheduling).
//
// The board thread runs with a 1 ns timer slack (--sim-default-slack leaves the default
// 50 us): with the default, each reply byte reaches the host one slack late although the log
// has it on time, and since the next command starts from its real arrival that lateness adds
// up once per command. The front-end's threads keep the default slack.
//
// The machine's scheduling noise only ever adds time; --repeat N runs each real-timing case
// N times and judges the best run.
//
// `autoprogram` runs the whole production recipe on a full ATmega128 (erase, blank check, Flash
// and Eeprom program and verify, lock and fuse bits) as one command against the same floor,
// whose waits then include autoprogram's pauses and settle times. The lock and fuse writes'
// own chip time is not in U, so the floor is a little low there (a few ms in minutes).
//
// `instant` runs the same ATmega128 program and verify with Timing::Instant and reports the
// process's CPU time (user + system, all threads, simulator included) per KB, and the
// simulator thread's share of it.
//
// Exit status: 0 all commands worked and met the target, 1 a command failed, 2 a target missed.

#include <sys/prctl.h>
#include <sys/resource.h>
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "BoardSimulator.h"
#include "ChipTiming.h"
#include "WireLog.h"
#include "text/MessageCatalog.h"
#include "support/BoardRig.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "lockfuse/LockFuseCommands.h"
#include "operations/Autoprogram.h"
#include "project/Project.h"
#include "link/Clock.h"
#include "link/ComPort.h"
#include "link/Commands.h"
#include "operations/ChipCommands.h"

namespace {

using Steady = std::chrono::steady_clock;  // the simulator's SimClock too
using Nanos = std::chrono::nanoseconds;
using zr7sim::Direction;
using zr7sim::WireByte;
using zr7sim::WireCommand;

constexpr int kPort = 1;
constexpr double kTarget = 1.03;
constexpr std::uint32_t kAt45FullBytes = 8388608;
int runs = 1;       // --repeat N: run each real-timing case N times
int gapsShown = 0;  // --gaps N: list the N longest idle stretches of each command
// Timer slack of the board thread in ns; 0 leaves it as the process has it (--sim-default-slack).
unsigned long simTimerSlackNs = 1;

double Sec(Nanos d) { return std::chrono::duration<double>(d).count(); }
double Ms(Nanos d) { return std::chrono::duration<double, std::milli>(d).count(); }

// ---- the front-end's waits, with when they happened -------------------------------------------

struct Wait {
  Steady::time_point start;
  int nominalMs;
  Nanos actual;
  Nanos Nominal() const { return std::chrono::milliseconds(nominalMs); }
};

// Really sleeps, and writes down each wait with its start so it can be set against the wire log.
class TimedClock final : public zr7::Clock {
 public:
  void SleepMs(int milliseconds) override {
    const Steady::time_point start = Steady::now();
    real_.SleepMs(milliseconds);
    const Nanos actual = Steady::now() - start;
    std::lock_guard lock(mutex_);
    waits_.push_back({start, milliseconds, actual});
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

// ---- the front-end's calls on the serial link ------------------------------------------------

struct Span {
  Steady::time_point from, to;
};

enum class CallKind : std::uint8_t { Port, Send, Receive };

struct Call {
  Steady::time_point from, to;
  CallKind kind;
};

// Passes every call on to the real port and notes how long it took, so that the front-end's
// own time between calls can be told from the time it spent waiting on the line.
class TimedLink final : public zr7::SerialLink {
 public:
  // The port whose calls are timed; set before the first call.
  void Wrap(zr7::SerialLink& port) { port_ = &port; }

  bool Open(int portIndex, std::uint32_t baudRate) override {
    return Timed(CallKind::Port, [&] { return port_->Open(portIndex, baudRate); });
  }
  bool Disconnect() override { return Timed(CallKind::Port, [&] { return port_->Disconnect(); }); }
  bool SendByte(std::uint8_t byte) override { return Timed(CallKind::Send, [&] { return port_->SendByte(byte); }); }
  bool SendBlock(const std::uint8_t* bytes, std::size_t length) override {
    return Timed(CallKind::Send, [&] { return port_->SendBlock(bytes, length); });
  }
  const std::uint8_t* Receive(std::size_t count) override {
    return Timed(CallKind::Receive, [&] { return port_->Receive(count); });
  }
  int ReceiveByte() override { return Timed(CallKind::Receive, [&] { return port_->ReceiveByte(); }); }
  bool IsConnected() const override { return port_->IsConnected(); }
  std::string_view Status() const override { return port_->Status(); }

  // Calls are made by one thread at a time, handed over by thread start and join.
  std::vector<Call> Take() { return std::exchange(calls_, {}); }

 private:
  template <typename F>
  std::invoke_result_t<F> Timed(CallKind kind, F f) {
    const Steady::time_point from = Steady::now();
    auto r = f();
    calls_.push_back({from, Steady::now(), kind});
    return r;
  }

  zr7::SerialLink* port_ = nullptr;
  std::vector<Call> calls_;
};

// ---- memory and CPU -------------------------------------------------------------------------

// VmRSS and VmHWM of this process in MiB.
std::pair<double, double> RssMiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  double rss = 0, hwm = 0;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::atof(line.c_str() + 6) / 1024.0;
    if (line.rfind("VmHWM:", 0) == 0) hwm = std::atof(line.c_str() + 6) / 1024.0;
  }
  return {rss, hwm};
}

// The kernel's count of time during which some task waited for a CPU (zero where unknown): the
// share of a command's time it grew by says how busy the machine was with other work.
Nanos CpuPressure() {
  std::ifstream in("/proc/pressure/cpu");
  std::string word;
  while (in >> word)
    if (word.rfind("total=", 0) == 0) return std::chrono::microseconds(std::atoll(word.c_str() + 6));
  return Nanos::zero();
}

struct CpuTime {
  Nanos user{}, system{};
  Nanos Total() const { return user + system; }
  CpuTime operator-(const CpuTime& o) const { return {user - o.user, system - o.system}; }
};

CpuTime ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto tv = [](const timeval& t) { return Nanos(t.tv_sec * 1'000'000'000LL + t.tv_usec * 1000LL); };
  return {tv(u.ru_utime), tv(u.ru_stime)};
}

std::set<int> ThreadIds() {
  std::set<int> ids;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ids.insert(std::atoi(e->d_name));
    closedir(d);
  }
  return ids;
}

// On-CPU time of one thread of this process (the scheduler's nanosecond count).
Nanos ThreadCpu(int tid) {
  if (tid <= 0) return Nanos::zero();
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
  long long ns = 0;
  in >> ns;
  return Nanos(ns);
}

// ---- the rig ---------------------------------------------------------------------------------

// The shared test rig's session, its link timed call by call and its clock's waits recorded.
struct Rig {
  Rig(const std::string& chip, zr7sim::Timing timing)
      : board(chip, [&] {
          zr7test::BoardRig::Setup setup;
          setup.sim.timing = timing;
          setup.clock = &clock;
          setup.wire = &timed;
          setup.start = false;  // started below, with the board thread's own timer slack
          return setup;
        }()) {
    timed.Wrap(board.bench.port);
    const std::set<int> before = ThreadIds();
    // A thread takes its timer slack from the thread that makes it: the board thread alone gets
    // the tight one, the front-end's threads keep the process's.
    const long slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (simTimerSlackNs) prctl(PR_SET_TIMERSLACK, simTimerSlackNs, 0, 0, 0);
    const bool ok = sim.Start(&error);
    if (simTimerSlackNs) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
    if (!ok) return;
    board.PlugIn();
    for (int id : ThreadIds())
      if (!before.count(id)) simThread = id;
    job.highSpeed = true;
    started = true;
  }

  void Image(std::vector<std::uint8_t> bytes) { board.Image(flash, bytes, "bench.bin"); }

  // The last command is logged once its answer is out: give the board a moment to finish.
  void Settle() { board.Commands(std::chrono::milliseconds(50)); }

  std::string error;
  bool started = false;
  int simThread = -1;
  TimedLink timed;
  TimedClock clock;
  zr7test::BoardRig board;
  zr7sim::BoardSimulator& sim = board.sim;
  zr7::ScriptedOperator& op = board.op;
  zr7::BoardLink& link = board.link;
  zr7::MemoryBuffer& flash = board.flash;
  zr7::MemoryBuffer& eeprom = board.eeprom;
  zr7::ChipResults& results = board.results;
  zr7::ChipCommands& commands = board.commands;
  zr7::ChipJob& job = board.job;
};

std::vector<std::uint8_t> RandomImage(std::size_t n, std::uint32_t seed, std::size_t pageBytes) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> out(n);
  for (std::size_t i = 0; i < n; i += 4) {
    const std::uint32_t r = gen();
    for (std::size_t k = 0; k < 4 && i + k < n; ++k) out[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
  }
  // An erased page would be skipped by the AVR path; every page has to cross the line.
  for (std::size_t p = 0; p < n; p += pageBytes) {
    const auto page = out.begin() + static_cast<std::ptrdiff_t>(p);
    const auto end = out.begin() + static_cast<std::ptrdiff_t>(std::min(n, p + pageBytes));
    if (std::all_of(page, end, [](std::uint8_t b) { return b == 0xFF; })) *page = 0x00;
  }
  return out;
}

// ---- the floor -------------------------------------------------------------------------------

struct ChipWrite {
  Steady::time_point start;
  Nanos length;
};

// The page writes the simulator charged, found in the decoded commands, and the board's own
// wait after each byte of an Eeprom block (the byte delay last set with 'W'; the benches run
// without data polling, where that wait is the whole story).
std::vector<ChipWrite> ChipWrites(const std::vector<WireCommand>& cmds, const zr7sim::ChipTimes& times) {
  std::vector<ChipWrite> out;
  const bool real = times.avrPageWrite > Nanos::zero();
  std::uint8_t byteDelayCode = 0xFF;
  for (std::size_t i = 0; i < cmds.size(); ++i) {
    const WireCommand& c = cmds[i];
    if (c.code == zr7::CmdSetByteDelay && !c.args.empty()) {
      byteDelayCode = c.args[0];
    } else if (real && c.code == zr7::CmdWriteEeprom && c.args.size() > 1) {
      const auto n = static_cast<long long>(c.args.size() - 1);
      out.push_back({c.time + zr7sim::ByteTime(c.baud) * static_cast<long long>(c.args.size() + 1),
                     zr7sim::DelayForCode(byteDelayCode) * n});
    } else if (c.code == zr7::CmdSpi4 && c.args.size() == 4 && c.args[0] == 0x4C) {
      // The chip acts on the instruction's last byte; the command time is its first byte's.
      out.push_back({c.time + zr7sim::ByteTime(c.baud) * static_cast<long long>(c.args.size()), times.avrPageWrite});
    } else if (c.code == zr7::CmdSpiWriteN && c.args.size() == 6 && c.args[0] == 0 && c.args[1] == 4 &&
               (c.args[2] == 0x83 || c.args[2] == 0x86)) {
      // A DataFlash programs the page once its chip select is released.
      for (std::size_t j = i + 1; j < cmds.size(); ++j)
        if (cmds[j].code == zr7::CmdFlashDeselect) {
          out.push_back({cmds[j].time, times.at45PageProgram});
          break;
        }
    }
  }
  return out;
}

struct Analysis {
  // floor
  Nanos wire{}, waits{}, overlap{}, uncovered{};
  std::size_t bytesHost = 0, bytesBoard = 0, dropped = 0, waitCount = 0, commands = 0;
  std::size_t writes = 0, writesUncovered = 0;
  Nanos writeLength{};
  // beyond it
  Nanos oversleep{}, idle{}, largestGap{};
  double largestGapAt = 0;  // seconds after the call began
  std::size_t gapsOver1ms = 0;
  std::vector<Span> gaps;  // the longest idle stretches, longest first
  // the front-end's side
  std::size_t linkCalls = 0;
  Nanos inCalls{}, own{}, largestOwn{};
  double largestOwnAt = 0;
  // A send call's own length; from a send call to the board taking its first byte off the line;
  // from the last reply byte's logged arrival to the receive call returning.
  struct Spread {
    Nanos sum{}, median{}, p99{}, max{};
    std::size_t over1ms = 0;
    Nanos over1msSum{};
  };
  Spread sendCall, pickup, replyLate;
  Nanos Floor() const { return wire + waits - overlap + uncovered; }
};

Nanos Intersect(Span a, Span b) {
  const auto from = std::max(a.from, b.from), to = std::min(a.to, b.to);
  return to > from ? Nanos(to - from) : Nanos::zero();
}

Analysis Analyse(std::vector<WireByte>&& log, const std::vector<WireCommand>& cmds,
                 const std::vector<Wait>& waits, const std::vector<Call>& calls, Span call,
                 const zr7sim::ChipTimes& times) {
  Analysis a;
  // The front-end's own time: neither in a call on the link nor in one of its waits.
  {
    a.linkCalls = calls.size();
    std::size_t w = 0;
    Steady::time_point reached = call.from;
    auto own = [&](Steady::time_point until) {
      Nanos g = until > reached ? Nanos(until - reached) : Nanos::zero();
      for (; w < waits.size() && waits[w].start < until; ++w) g -= waits[w].actual;
      g = std::max(g, Nanos::zero());
      a.own += g;
      if (g > a.largestOwn) {
        a.largestOwn = g;
        a.largestOwnAt = Sec(reached - call.from);
      }
    };
    for (const Call& c : calls) {
      own(c.from);
      a.inCalls += c.to - c.from;
      reached = c.to;
    }
    own(call.to);
  }
  a.commands = cmds.size();
  // Each byte's ten bits on the line, per direction; both are in time order as logged.
  std::vector<Span> hostWire, boardWire;
  for (const WireByte& b : log) {
    if (b.dropped) {
      ++a.dropped;
      continue;
    }
    const Nanos t = zr7sim::ByteTime(b.boardBaud);
    a.wire += t;
    (b.direction == Direction::HostToBoard ? hostWire : boardWire).push_back({b.time - t, b.time});
  }
  log = {};  // the copy of the log is the largest thing here
  a.bytesHost = hostWire.size();
  a.bytesBoard = boardWire.size();
  auto earlier = [](const Span& x, const Span& y) { return x.from < y.from; };
  std::vector<Span> wire(hostWire.size() + boardWire.size());
  std::merge(hostWire.begin(), hostWire.end(), boardWire.begin(), boardWire.end(), wire.begin(), earlier);

  std::vector<Span> slept;  // nominal waits, for O
  for (const Wait& w : waits) {
    a.waits += w.Nominal();
    a.oversleep += w.actual - w.Nominal();
    ++a.waitCount;
    slept.push_back({w.start, w.start + w.Nominal()});
  }
  for (const Span& s : slept) {
    // Bytes are at most one byte time long, so any that overlap start after from - 1 ms.
    auto it = std::lower_bound(wire.begin(), wire.end(), s.from - std::chrono::milliseconds(1),
                               [](const Span& x, Steady::time_point t) { return x.from < t; });
    for (; it != wire.end() && it->from < s.to; ++it) a.overlap += Intersect(*it, s);
  }

  // U: what of each page write was left after the waits and replies before the next host byte.
  auto endsBefore = [](const Span& x, Steady::time_point t) { return x.to < t; };
  auto endsAfter = [](Steady::time_point t, const Span& x) { return t < x.to; };
  for (const ChipWrite& w : ChipWrites(cmds, times)) {
    ++a.writes;
    a.writeLength = w.length;
    auto next = std::upper_bound(hostWire.begin(), hostWire.end(), w.start, endsAfter);
    if (next == hostWire.end()) continue;  // nothing after it waits for the chip
    const Steady::time_point limit = next->from;
    Nanos cover{};
    for (auto b = std::lower_bound(boardWire.begin(), boardWire.end(), w.start, endsBefore);
         b != boardWire.end() && b->to <= limit; ++b)
      if (b->to > w.start) cover += b->to - b->from;
    for (const Wait& s : waits)
      if (s.start >= w.start && s.start < limit) cover += s.Nominal();
    if (w.length > cover) {
      a.uncovered += w.length - cover;
      ++a.writesUncovered;
    }
  }

  // The turnaround on each side of the pseudo-terminal.
  {
    std::vector<Nanos> send, pickup, late;
    for (const Call& c : calls) {
      if (c.kind == CallKind::Send) {
        send.push_back(c.to - c.from);
        auto first = std::upper_bound(hostWire.begin(), hostWire.end(), c.from, endsAfter);
        if (first != hostWire.end()) pickup.push_back(first->from - c.from);
      } else if (c.kind == CallKind::Receive) {
        auto after = std::upper_bound(boardWire.begin(), boardWire.end(), c.to, endsAfter);
        // A reply that came during a wait was already there when the call began.
        if (after != boardWire.begin()) late.push_back(c.to - std::max(c.from, std::prev(after)->to));
      }
    }
    auto spread = [](std::vector<Nanos>& v) {
      Analysis::Spread s;
      if (v.empty()) return s;
      std::sort(v.begin(), v.end());
      for (Nanos d : v) {
        s.sum += d;
        if (d > std::chrono::milliseconds(1)) {
          ++s.over1ms;
          s.over1msSum += d;
        }
      }
      s.median = v[v.size() / 2];
      s.p99 = v[(v.size() - 1) * 99 / 100];
      s.max = v.back();
      return s;
    };
    a.sendCall = spread(send);
    a.pickup = spread(pickup);
    a.replyLate = spread(late);
  }

  // Where nothing was on the line and the front-end was not waiting either.
  hostWire = {};
  boardWire = {};
  std::vector<Span> busy = std::move(wire);
  const std::size_t bytes = busy.size();
  for (const Wait& w : waits) busy.push_back({w.start, w.start + w.actual});
  std::inplace_merge(busy.begin(), busy.begin() + static_cast<std::ptrdiff_t>(bytes), busy.end(), earlier);
  Steady::time_point reached = call.from;
  auto gap = [&](Steady::time_point until) {
    if (until <= reached) return;
    const Nanos g = until - reached;
    a.idle += g;
    if (g > std::chrono::milliseconds(1)) {
      ++a.gapsOver1ms;
      a.gaps.push_back({reached, until});
    }
    if (g > a.largestGap) {
      a.largestGap = g;
      a.largestGapAt = Sec(reached - call.from);
    }
  };
  for (const Span& s : busy) {
    gap(std::min(s.from, call.to));
    reached = std::max(reached, std::min(s.to, call.to));
  }
  gap(call.to);
  std::sort(a.gaps.begin(), a.gaps.end(), [](const Span& x, const Span& y) { return x.to - x.from > y.to - y.from; });
  return a;
}

std::string SpreadLine(const char* what, const Analysis::Spread& s) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "               %-50s %7.3f s (median %.0f us, p99 %.0f us, max %.1f ms; %zu over 1 ms: %.3f s)\n",
                what, Sec(s.sum), Ms(s.median) * 1000, Ms(s.p99) * 1000, Ms(s.max), s.over1ms, Sec(s.over1msSum));
  return buf;
}

// ---- running one command -----------------------------------------------------------------

struct Outcome {
  bool worked = false;
  bool met = true;
  Nanos measured{};
  Analysis analysis;
};

template <typename Command>
Outcome Measure(Rig& rig, const char* label, Command command, const std::function<bool()>& worked) {
  rig.Settle();
  rig.sim.Log().Clear();
  rig.clock.Take();
  rig.timed.Take();
  const Nanos pressure0 = CpuPressure();
  const Steady::time_point t0 = Steady::now();
  command();
  const Steady::time_point t1 = Steady::now();
  const Nanos pressure = CpuPressure() - pressure0;
  rig.Settle();

  Outcome out;
  out.worked = worked();
  out.measured = t1 - t0;
  std::vector<WireByte> bytes = rig.sim.Log().Bytes();
  const auto [rssBoth, hwmBoth] = RssMiB();
  const std::vector<WireCommand> cmds = rig.sim.Log().Commands();
  const std::vector<std::string> notes = rig.sim.Log().Notes();
  const std::size_t logged = bytes.size();
  out.analysis = Analyse(std::move(bytes), cmds, rig.clock.Take(), rig.timed.Take(), {t0, t1}, zr7sim::TimesFor(true));
  const auto [rssAfter, hwmAfter] = RssMiB();
  // Counted: the log need not hold this command's bytes any longer.
  rig.sim.Log().Clear();

  const Analysis& a = out.analysis;
  const Nanos floor = a.Floor();
  const double ratio = Sec(out.measured) / Sec(floor);
  out.met = ratio <= kTarget;
  std::printf("  %-8s %s  measured %9.3f s  floor %9.3f s  ratio %.4f  %s\n", label,
              out.worked ? "ok    " : "FAILED", Sec(out.measured), Sec(floor), ratio, out.met ? "PASS" : "MISS");
  std::printf("           floor = wire %.3f s (%zu host + %zu board bytes, %zu dropped)\n"
              "                 + waits %.3f s (%zu) - overlap %.3f ms\n"
              "                 + chip %.3f ms (%zu chip writes, the last %.1f ms, %zu not covered by the waits)\n",
              Sec(a.wire), a.bytesHost, a.bytesBoard, a.dropped, Sec(a.waits), a.waitCount, Ms(a.overlap),
              Ms(a.uncovered), a.writes, Ms(a.writeLength), a.writesUncovered);
  const Nanos beyond = out.measured - floor;
  const Nanos quiet = beyond - a.own - a.oversleep;
  const double perCommand = a.commands ? Ms(quiet) * 1000.0 / static_cast<double>(a.commands) : 0.0;
  std::printf("           beyond the floor %+.3f s (%+.2f %%):\n"
              "             front-end between its link calls, not waiting  %7.3f s (largest %.1f ms at %.3f s)\n"
              "             its waits overslept                            %7.3f s\n"
              "             in link calls with the line quiet              %7.3f s"
              " (%.1f us per command, %zu commands), of it\n"
              "%s%s%s"
              "           line idle %.3f s: %zu stretches > 1 ms, largest %.1f ms at %.3f s\n",
              Sec(beyond), 100.0 * (ratio - 1), Sec(a.own), Ms(a.largestOwn), a.largestOwnAt, Sec(a.oversleep),
              Sec(quiet), perCommand, a.commands, SpreadLine("send calls themselves", a.sendCall).c_str(),
              SpreadLine("send call begun until its first byte is on the line", a.pickup).c_str(),
              SpreadLine("last reply byte logged until the front-end has it", a.replyLate).c_str(), Sec(a.idle),
              a.gapsOver1ms, Ms(a.largestGap), a.largestGapAt);
  std::printf("           CPU pressure %.1f %% (share of the time some task of the machine waited for a CPU)\n",
              100.0 * Sec(pressure) / Sec(out.measured));
  std::printf("           wire log %zu bytes, %zu commands; RSS %.0f MiB with the log and its copy,"
              " %.0f MiB after; peak %.0f MiB\n",
              logged, cmds.size(), rssBoth, rssAfter, std::max(hwmBoth, hwmAfter));
  for (std::size_t i = 0; i < a.gaps.size() && i < static_cast<std::size_t>(gapsShown); ++i) {
    const Span g = a.gaps[i];
    auto describe = [](const WireCommand* c) {
      if (!c) return std::string("-");
      std::string t = c->name;
      char buf[8];
      for (std::size_t k = 0; k < c->args.size() && k < 3; ++k) {
        std::snprintf(buf, sizeof buf, " %02X", c->args[k]);
        t += buf;
      }
      return t;
    };
    const WireCommand* before = nullptr;
    const WireCommand* after = nullptr;
    for (const WireCommand& c : cmds) {
      if (c.time <= g.from) before = &c;
      if (c.time >= g.to && !after) after = &c;
    }
    std::printf("           idle %8.3f ms at %9.3f s, after %s, before %s\n", Ms(g.to - g.from), Sec(g.from - t0),
                describe(before).c_str(), describe(after).c_str());
  }
  for (std::size_t i = 0; i < notes.size() && i < 5; ++i) std::printf("           sim note: %s\n", notes[i].c_str());
  if (notes.size() > 5) std::printf("           ... %zu sim notes in all\n", notes.size());
  std::fflush(stdout);
  return out;
}

// ---- the cases -----------------------------------------------------------------------------

struct RunResult {
  bool started = false;
  Outcome program, verify;
};

RunResult RealRun(const char* chip, std::uint32_t bytes, std::uint32_t pageBytes, std::uint32_t fullBytes) {
  RunResult r;
  Rig rig(chip, zr7sim::Timing::Real);
  if (!rig.started) {
    std::fprintf(stderr, "%s: cannot start the simulator: %s\n", chip, rig.error.c_str());
    return r;
  }
  r.started = true;
  rig.Image(RandomImage(bytes, 0x2C7u ^ bytes, pageBytes));
  const std::uint32_t pages = (bytes + pageBytes - 1) / pageBytes;
  std::printf("%s, 115200 baud, %u bytes in %u pages of %u", chip, bytes, pages, pageBytes);
  if (bytes < fullBytes) std::printf("  (partial image: %u of %u bytes)", bytes, fullBytes);
  std::printf("\n");
  std::fflush(stdout);

  r.program = Measure(rig, "program", [&] { rig.commands.ProgramFlash(rig.job); },
                      [&] { return rig.results.lastOperationStatus == 0; });
  r.verify = Measure(rig, "verify", [&] { rig.commands.VerifyFlash(rig.job); },
                     [&] { return rig.results.flashVerified; });
  if (bytes < fullBytes && pages >= 64) {
    // The per-page work dominates both commands; the connection's part is scaled along, which
    // a long enough partial image makes negligible.
    const double scale = static_cast<double>((fullBytes + pageBytes - 1) / pageBytes) / pages;
    std::printf("  full image, scaled by pages: program ~%.1f min, verify ~%.1f min (floor ~%.1f + ~%.1f min)\n",
                Sec(r.program.measured) * scale / 60, Sec(r.verify.measured) * scale / 60,
                Sec(r.program.analysis.Floor()) * scale / 60, Sec(r.verify.analysis.Floor()) * scale / 60);
  }
  std::printf("\n");
  return r;
}

// With --repeat N the best run of each command is judged: the others lost time to the machine.
int RealCase(const char* chip, std::uint32_t bytes, std::uint32_t pageBytes, std::uint32_t fullBytes) {
  double bestProgram = 1e9, bestVerify = 1e9;
  bool worked = true;
  for (int i = 0; i < runs; ++i) {
    const RunResult r = RealRun(chip, bytes, pageBytes, fullBytes);
    if (!r.started) return 1;
    worked = worked && r.program.worked && r.verify.worked;
    bestProgram = std::min(bestProgram, Sec(r.program.measured) / Sec(r.program.analysis.Floor()));
    bestVerify = std::min(bestVerify, Sec(r.verify.measured) / Sec(r.verify.analysis.Floor()));
  }
  if (runs > 1)
    std::printf("%s, best of %d: program ratio %.4f %s, verify ratio %.4f %s\n\n", chip, runs, bestProgram,
                bestProgram <= kTarget ? "PASS" : "MISS", bestVerify, bestVerify <= kTarget ? "PASS" : "MISS");
  if (!worked) return 1;
  return bestProgram <= kTarget && bestVerify <= kTarget ? 0 : 2;
}

int InstantCase() {
  constexpr std::uint32_t kBytes = 131072;
  Rig rig("ATmega128", zr7sim::Timing::Instant);
  if (!rig.started) {
    std::fprintf(stderr, "instant: cannot start the simulator: %s\n", rig.error.c_str());
    return 1;
  }
  rig.Image(RandomImage(kBytes, 0x2C7u ^ kBytes, 256));
  std::printf("ATmega128, Timing::Instant, %u bytes: host CPU (process, all threads)\n", kBytes);
  const double kb = kBytes / 1024.0;
  bool ok = true;
  auto run = [&](const char* label, const std::function<void()>& command, const std::function<bool()>& worked) {
    rig.Settle();
    rig.sim.Log().Clear();
    const CpuTime cpu0 = ProcessCpu();
    const Nanos sim0 = ThreadCpu(rig.simThread);
    const Steady::time_point t0 = Steady::now();
    command();
    const Steady::time_point t1 = Steady::now();
    const CpuTime cpu = ProcessCpu() - cpu0;
    const Nanos sim = ThreadCpu(rig.simThread) - sim0;
    const bool w = worked();
    ok = ok && w;
    std::printf("  %-8s %s  %.1f us CPU per KB  (%.3f s: user %.3f, system %.3f; simulator thread %.3f of it)"
                "  wall %.3f s\n",
                label, w ? "ok    " : "FAILED", Ms(cpu.Total()) * 1000.0 / kb, Sec(cpu.Total()), Sec(cpu.user),
                Sec(cpu.system), Sec(sim), Sec(t1 - t0));
    rig.clock.Take();
  };
  run("program", [&] { rig.commands.ProgramFlash(rig.job); }, [&] { return rig.results.lastOperationStatus == 0; });
  run("verify", [&] { rig.commands.VerifyFlash(rig.job); }, [&] { return rig.results.flashVerified; });
  std::printf("  (the wall time is the front-end's own waits: the 15 ms page delay per page)\n\n");
  return ok ? 0 : 1;
}

// The production run of a full ATmega128: erase, blank check, Flash and Eeprom program and
// verify, then the lock and fuse bits (the chip's own, read first, so the run stays safe), as
// one command whose floor also holds autoprogram's pauses and settle times (Clock waits).
int AutoprogramCase() {
  Rig rig("ATmega128", zr7sim::Timing::Real);
  if (!rig.started) {
    std::fprintf(stderr, "autoprogram: cannot start the simulator: %s\n", rig.error.c_str());
    return 1;
  }
  rig.Image(RandomImage(131072, 0xA97u, 256));
  rig.eeprom.data() = RandomImage(4096, 0xE4u, 8);
  rig.eeprom.states().assign(4096, zr7::StateFromFile);
  rig.eeprom.SetFileName("bench.eep");
  zr7::ProjectSettings& s = rig.board.project.settings();
  s.autoErase = s.autoEmptyCheck = true;
  s.autoFlashProgram = s.autoFlashVerify = s.autoEepromProgram = s.autoEepromVerify = true;
  s.programFuse = true;
  s.resetStrobeLength = 20;
  zr7::LockFuseCommands& lockFuse = rig.board.bench.lockFuse;
  if (!lockFuse.Read(rig.job, rig.job.connect.deviceNumber, s.lockFuse)) {
    std::fprintf(stderr, "autoprogram: the chip's lock and fuse bits could not be read\n");
    return 1;
  }
  zr7::AutoprogramOutcome outcome;
  std::printf("ATmega128, 115200 baud: autoprogram of 131072 Flash and 4096 Eeprom bytes with lock and fuse bits\n");
  std::fflush(stdout);
  double best = 1e9;
  bool worked = true;
  for (int i = 0; i < runs; ++i) {
    const Outcome o = Measure(rig, "autoprog", [&] { rig.board.bench.RunAutoprogram(true, outcome, rig.clock); },
                              [&] { return outcome.AutoprogramSucceeded; });
    worked = worked && o.worked;
    best = std::min(best, Sec(o.measured) / Sec(o.analysis.Floor()));
    if (!o.worked) std::printf("  status: %s\n", rig.op.LastStatus().c_str());
  }
  std::printf("\n");
  if (!worked) return 1;
  return best <= kTarget ? 0 : 2;
}

int Usage() {
  std::fprintf(stderr,
               "usage: zr7-transfer-bench [atmega128] [at45db642] [instant] [autoprogram] [all] [--at45-bytes N]\n"
               "                          [--repeat N] [--gaps N] [--sim-default-slack]\n"
               "  no case: atmega128 and instant\n"
               "  --at45-bytes N: a partial AT45 image of 1..%u bytes, K or M suffix allowed\n"
               "  --repeat N: run each real-timing case N times, judge the best run\n"
               "  --gaps N: list the N longest stretches of each command with nothing on the line\n"
               "  --sim-default-slack: leave the board thread's timer slack as it is\n",
               kAt45FullBytes);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  bool atmega = false, at45 = false, instant = false, autoprog = false;
  std::uint32_t at45Bytes = kAt45FullBytes;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "atmega128") {
      atmega = true;
    } else if (a == "at45db642") {
      at45 = true;
    } else if (a == "instant") {
      instant = true;
    } else if (a == "autoprogram") {
      autoprog = true;
    } else if (a == "all") {
      atmega = at45 = instant = autoprog = true;
    } else if (a == "--repeat" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--sim-default-slack") {
      simTimerSlackNs = 0;
    } else if (a == "--gaps" && i + 1 < argc) {
      gapsShown = std::atoi(argv[++i]);
    } else if (a == "--at45-bytes" && i + 1 < argc) {
      char* end = nullptr;
      unsigned long long n = std::strtoull(argv[++i], &end, 10);
      if (*end == 'K' || *end == 'k') n *= 1024, ++end;
      else if (*end == 'M' || *end == 'm') n *= 1024 * 1024, ++end;
      if (*end || n == 0 || n > kAt45FullBytes) return Usage();
      at45Bytes = static_cast<std::uint32_t>(n);
    } else {
      return Usage();
    }
  }
  if (!atmega && !at45 && !instant && !autoprog) atmega = instant = true;

  int status = 0;
  // A failed command outweighs a missed target.
  auto take = [&](int s) {
    if (s == 1 || (s == 2 && status == 0)) status = s;
  };
  if (atmega) take(RealCase("ATmega128", 131072, 256, 131072));
  if (at45) {
    const zr7::DeviceRecord* d = zr7::DeviceAt(zr7::FindDeviceByName("AT45DB642"));
    take(RealCase("AT45DB642", at45Bytes, d->PageSize, d->FlashSize));
  }
  if (instant) take(InstantCase());
  if (autoprog) take(AutoprogramCase());
  return status;
}
