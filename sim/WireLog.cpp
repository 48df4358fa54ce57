#include "WireLog.h"

#include <algorithm>
#include <cstdio>

namespace zr7sim {

namespace {

// Data blocks can be long; the first bytes are enough to recognise them in a dump.
constexpr std::size_t kMaxHexShown = 24;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char buf[8];
  for (std::size_t i = 0; i < bytes.size() && i < kMaxHexShown; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
    out += buf;
  }
  if (bytes.size() > kMaxHexShown) {
    out += " ... (" + std::to_string(bytes.size()) + " bytes)";
  }
  return out;
}

std::string Stamp(SimClock::time_point start, SimClock::time_point t) {
  double ms = std::chrono::duration<double, std::milli>(t - start).count();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%10.3f ms", ms);
  return buf;
}

std::string CommandLine(SimClock::time_point start, const WireCommand& c) {
  std::vector<std::uint8_t> sent{c.code};
  sent.insert(sent.end(), c.args.begin(), c.args.end());
  std::string line = Stamp(start, c.time) + "  " + std::to_string(c.baud) + "  H>B " + Hex(sent);
  if (!c.reply.empty()) line += "  B>H " + Hex(c.reply);
  line += "  " + c.name;
  if (!c.args.empty()) line += " " + Hex(c.args);
  return line;
}

std::string NoteLine(SimClock::time_point start, SimClock::time_point t, const std::string& text) {
  return Stamp(start, t) + "  note: " + text;
}

// One line for a run of dropped bytes that went the same way at the same pair of rates.
std::string DroppedLine(SimClock::time_point start, const std::vector<WireByte>& run) {
  const WireByte& first = run.front();
  std::vector<std::uint8_t> values;
  for (const WireByte& b : run) values.push_back(b.value);
  return Stamp(start, first.time) + "  " +
         (first.direction == Direction::HostToBoard ? "H>B " : "B>H ") + Hex(values) +
         "  dropped (host " + std::to_string(first.hostBaud) + ", board " +
         std::to_string(first.boardBaud) + ")";
}

}  // namespace

void WireLog::AddByte(const WireByte& b) {
  std::lock_guard<std::mutex> lock(mutex_);
  bytes_.push_back(b);
  if (echo_ && b.dropped) {
    std::fprintf(echo_, "%s\n", DroppedLine(start_, {b}).c_str());
    std::fflush(echo_);
  }
  changed_.notify_all();
}

void WireLog::AddCommand(WireCommand c) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (echo_) {
    std::fprintf(echo_, "%s\n", CommandLine(start_, c).c_str());
    std::fflush(echo_);
  }
  commands_.push_back(std::move(c));
  changed_.notify_all();
}

void WireLog::AddNote(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  Note note{SimClock::now(), std::move(text)};
  if (echo_) {
    std::fprintf(echo_, "%s\n", NoteLine(start_, note.time, note.text).c_str());
    std::fflush(echo_);
  }
  notes_.push_back(std::move(note));
  changed_.notify_all();
}

std::vector<WireByte> WireLog::Bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

std::vector<WireCommand> WireLog::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<std::string> WireLog::Notes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  out.reserve(notes_.size());
  for (const Note& n : notes_) out.push_back(n.text);
  return out;
}

void WireLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  bytes_.clear();
  commands_.clear();
  notes_.clear();
  changed_.notify_all();
}

bool WireLog::WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= count; });
}

std::string WireLog::Format() const {
  std::lock_guard<std::mutex> lock(mutex_);
  struct Line {
    SimClock::time_point time;
    std::string text;
  };
  std::vector<Line> lines;
  for (const WireCommand& c : commands_) lines.push_back({c.time, CommandLine(start_, c)});
  for (const Note& n : notes_) lines.push_back({n.time, NoteLine(start_, n.time, n.text)});
  // Dropped bytes belong to no command, so without these lines a baud mismatch would be invisible.
  std::vector<WireByte> run;
  auto flush = [&] {
    if (!run.empty()) lines.push_back({run.front().time, DroppedLine(start_, run)});
    run.clear();
  };
  for (const WireByte& b : bytes_) {
    if (!b.dropped) {
      flush();
      continue;
    }
    if (!run.empty() && (run.back().direction != b.direction || run.back().hostBaud != b.hostBaud ||
                         run.back().boardBaud != b.boardBaud))
      flush();
    run.push_back(b);
  }
  flush();
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return a.time < b.time; });
  std::string out;
  for (const Line& l : lines) out += l.text + "\n";
  return out;
}

void WireLog::SetEcho(std::FILE* stream) {
  std::lock_guard<std::mutex> lock(mutex_);
  echo_ = stream;
}

}  // namespace zr7sim
