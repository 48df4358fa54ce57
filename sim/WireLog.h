#pragma once
// Everything that crossed the simulated serial line: each byte with its direction, time and
// both baud rates, and each command as the board decoded it. Safe to read from a test while
// the board thread writes it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace zr7sim {

using SimClock = std::chrono::steady_clock;

enum class Direction : std::uint8_t { HostToBoard, BoardToHost };

struct WireByte {
  SimClock::time_point time;
  Direction direction;
  std::uint8_t value;
  std::uint32_t hostBaud;   // what the host's side of the line was set to
  std::uint32_t boardBaud;  // what the board's UART was set to
  bool dropped;             // the rates differed: a real UART would have garbled this byte
};

struct WireCommand {
  SimClock::time_point time;  // when the command byte arrived
  std::uint8_t code;
  std::string name;           // "CmdSetMode", or "unknown" for a byte that is no command
  std::vector<std::uint8_t> args;
  std::vector<std::uint8_t> reply;  // what the board sent back (empty for none)
  std::uint32_t baud;               // board baud rate when the command arrived
};

class WireLog {
 public:
  void AddByte(const WireByte& b);
  void AddCommand(WireCommand c);
  // A free-text note (a wire-rule violation, a fault injected), kept in order with the rest.
  void AddNote(std::string text);

  std::vector<WireByte> Bytes() const;
  std::vector<WireCommand> Commands() const;
  std::vector<std::string> Notes() const;
  void Clear();

  // Waits until at least `count` commands are logged or the timeout passes.
  bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;

  // Human-readable dump of everything logged, one line per command / note.
  std::string Format() const;

  // Echo every command and note as a text line to this stream as it happens (nullptr = off).
  void SetEcho(std::FILE* stream);

  // When the log was made: every time in Format() counts from here.
  SimClock::time_point Start() const { return start_; }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<WireByte> bytes_;
  std::vector<WireCommand> commands_;
  struct Note {
    SimClock::time_point time;
    std::string text;
  };
  std::vector<Note> notes_;
  std::FILE* echo_ = nullptr;
  SimClock::time_point start_ = SimClock::now();
};

}  // namespace zr7sim
