#pragma once
// A pseudo-terminal pair: the board side holds the master, the host opens the slave path
// exactly as it would open a serial port.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zr7sim {

class Pty {
 public:
  Pty() = default;
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  // Creates the pair. Keeps a slave descriptor of its own open, so the host may close and
  // reopen the port (its line settings survive, and the master never sees a hang-up).
  bool Open(std::string* error = nullptr);
  void Close();
  bool IsOpen() const { return master_ >= 0; }

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

  // The baud rate the host last set on the slave side (output speed), e.g. 19200.
  // 0 when it cannot be read or is not a standard rate.
  std::uint32_t HostBaud() const;

  // Raw master I/O. Write returns false unless every byte was written.
  bool Write(const std::uint8_t* data, std::size_t length);
  // Reads what is available, waiting at most timeoutMs for the first byte; returns the count
  // (0 on time-out, -1 on error).
  long Read(std::uint8_t* data, std::size_t capacity, int timeoutMs);

  // While the host does not read, Write waits at most stallTimeoutMs for room, and gives up at
  // once when `fd` (an eventfd or pipe; -1 = none) becomes readable, so a stop is never delayed.
  void SetWriteInterrupt(int fd, int stallTimeoutMs);

 private:
  int master_ = -1;
  int slaveKeep_ = -1;
  std::string slavePath_;
  int interruptFd_ = -1;
  int writeStallMs_ = 2000;
};

}  // namespace zr7sim
