#pragma once
// The serial link to the ZR7 board: 8N1, raw binary, no flow control, DTR and RTS inactive,
// exclusive use, 2000 ms per read or write call.

#include <cstdint>
#include <memory>
#include <string>

#include "link/PortMap.h"
#include "link/SerialLink.h"

namespace zr7 {

class ComPort final : public SerialLink {
 public:
  explicit ComPort(PortMap ports = PortMap());
  ~ComPort() override;
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;

  bool Open(int portIndex, std::uint32_t baudRate) override;
  bool Disconnect() override;
  bool SendByte(std::uint8_t byte) override;
  bool SendBlock(const std::uint8_t* bytes, std::size_t length) override;
  const std::uint8_t* Receive(std::size_t count) override;
  int ReceiveByte() override;
  bool IsConnected() const override { return connected_; }
  std::string_view Status() const override { return status_; }
  std::optional<std::string> NotASerialDevice(int portIndex) const override;

  std::uint32_t BaudRate() const { return baudRate_; }
  // The system's reason (errno) when the last Open failed at the device itself, else 0.
  int LastOpenError() const { return openErrno_; }
  void SetPortMap(const PortMap& ports) { ports_ = ports; }
  const PortMap& Ports() const { return ports_; }

  // Per-call limit of every read and write.
  static constexpr int CallTimeoutMs = 2000;

 private:
  // Writes bytes[done..length), advancing done; false on an error or a 2000 ms stall.
  bool Write(const std::uint8_t* bytes, std::size_t length, std::size_t& done);
  // One read call: waits up to CallTimeoutMs for the first byte, then takes what has arrived,
  // at most `capacity` bytes. Returns the count, 0 on time-out or error.
  std::size_t ReadSome(std::uint8_t* into, std::size_t capacity);

  PortMap ports_;
  const char* status_ = "Not initialized";
  int fd_ = -1;
  bool connected_ = false;
  std::uint32_t baudRate_ = 0;
  int openErrno_ = 0;
  std::unique_ptr<std::uint8_t[]> rxBuffer_;
};

}  // namespace zr7
