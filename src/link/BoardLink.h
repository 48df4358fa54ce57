#pragma once
// The connection layer to the ZR7 board: opening a connection (port, wake-up, firmware
// version, board configuration, target reset and programming enable), closing it, and the
// board's identification. One object per board link; it holds the connection state.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "link/Clock.h"
#include "link/SerialLink.h"

namespace zr7 {

class MessageCatalog;
class OperatorInterface;
struct DeviceRecord;

// The per-job settings that reach the wire when a connection opens.
struct ConnectOptions {
  int deviceNumber = 8;          // row of the device table (ATmega8)
  int spiPeriod = 0;             // index 0..7 into the SCK period list
  bool polling = false;          // "Polling"
  int resetStrobeLengthMs = 0;   // "ResetStrobeLength"; above 5 the board holds reset that long
  bool noSynchronization = false;  // "NoSynchronization"
};

class BoardLink {
 public:
  // The firmware version this front-end requires, shown as 9.10.
  static constexpr std::array<std::uint8_t, 3> RequiredVersion = {'9', '1', '0'};

  BoardLink(SerialLink& port, OperatorInterface& op, const MessageCatalog& catalog,
            Clock& clock = DefaultClock());

  // portNumber is 1..8 (COM1..COM8). True: the link is open (at 115200 baud with highSpeed)
  // and the target is in programming mode (AT45: probed). False: reported, port closed.
  bool Connect(const ConnectOptions& options, int portNumber, bool highSpeed);
  // Ends programming mode and returns the board to 19200 baud; always closes the port.
  bool EndSession();
  // Opens at 19200 and reads the version into BoardVersion; true leaves the port open for Quit.
  bool ReadVersion(int portNumber, bool check, bool silent, bool quiet);
  bool CheckVersion(const std::uint8_t reply[3], bool quiet);
  // Sends CmdQuit and closes the port; true when the byte went out.
  bool Quit();
  // A whole short connection reading the identification text and the five serial bytes.
  bool ReadBoardIdent(int portNumber, std::string* identOut, std::array<std::uint8_t, 5>* serialOut,
                      bool showVersionMessages);
  // Inside an open connection: the target's three signature bytes (0xFF where unread).
  bool ReadSignatureBytes(std::array<std::uint8_t, 3>& sig);

  bool LoaderMode() const { return loaderMode_; }
  bool VersionConflict() const { return versionConflict_; }
  const std::array<std::uint8_t, 3>& BoardVersion() const { return boardVersion_; }
  const std::string& BoardIdent() const { return boardIdent_; }
  // The device made current by the last Connect; nullptr before any.
  const DeviceRecord* CurrentDevice() const { return currentDevice_; }
  int CurrentDeviceNumber() const { return currentDeviceNumber_; }
  // The settings of the last Connect (EndSession sends its SCK code and polling flag).
  const ConnectOptions& Options() const { return options_; }

  SerialLink& Port() { return port_; }
  OperatorInterface& Operator() { return op_; }
  const MessageCatalog& Catalog() const { return catalog_; }
  Clock& Time() { return clock_; }

  // Wire helpers shared by every command built on this link.
  bool Send(std::initializer_list<std::uint8_t> bytes);
  bool ExpectCr();

 private:
  bool ConnectSteps(int portNumber, bool highSpeed, bool& reported);
  bool ProbeAt45();
  void ReportConnectFailure();
  // Message 1173, or for a path that is no serial device at all, that it is not one.
  void ShowCannotOpen(int portNumber);

  SerialLink& port_;
  OperatorInterface& op_;
  const MessageCatalog& catalog_;
  Clock& clock_;

  bool loaderMode_ = false;
  bool versionConflict_ = false;
  std::array<std::uint8_t, 3> boardVersion_ = {0, 0, 0};
  std::string boardIdent_;
  const DeviceRecord* currentDevice_ = nullptr;
  int currentDeviceNumber_ = -1;
  ConnectOptions options_;
};

}  // namespace zr7
