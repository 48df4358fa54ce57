#pragma once
// The byte link to the board. `ComPort` is the real one; tests may put a scripted link
// in its place. Nothing above this interface knows which one it has.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zr7 {

class SerialLink {
 public:
  virtual ~SerialLink() = default;

  // portIndex is 0-based (0 = COM1). Always closes an open port first.
  virtual bool Open(int portIndex, std::uint32_t baudRate) = 0;
  virtual bool Disconnect() = 0;
  virtual bool SendByte(std::uint8_t byte) = 0;
  virtual bool SendBlock(const std::uint8_t* bytes, std::size_t length) = 0;
  // Exactly count bytes (1 to RxBufferSize) or null; the data stays valid until the next receive.
  virtual const std::uint8_t* Receive(std::size_t count) = 0;
  // 0..255, -1 on silence or a failed read, 0 when the link is not connected.
  virtual int ReceiveByte() = 0;
  virtual bool IsConnected() const = 0;
  // Diagnostic trace of the last step.
  virtual std::string_view Status() const = 0;
  // After a failed Open: the path when what is there is no serial device at all (a regular
  // file, a folder, /dev/null), so that nobody is sent looking for another program using it.
  virtual std::optional<std::string> NotASerialDevice(int portIndex) const {
    (void)portIndex;
    return std::nullopt;
  }

  static constexpr std::size_t RxBufferSize = 32768;
};

}  // namespace zr7
