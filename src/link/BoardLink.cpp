#include "link/BoardLink.h"

#include <algorithm>
#include <vector>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "devices/DeviceTable.h"
#include "link/Commands.h"

namespace zr7 {

namespace {

// The target's own serial-programming instructions, sent through the board.
constexpr std::uint8_t kProgEnable[] = {0xAC, 0x53, 0x00, 0x00};
constexpr std::uint8_t kReadSignature = 0x30;
constexpr std::uint8_t kAt45StatusRead = 0x57;

constexpr int kWakeMs = 50;
constexpr int kSetModeMs = 50;
constexpr int kReopenMs = 45;
constexpr int kAt45SelectMs = 15;
constexpr int kAt45RetryMs = 40;
constexpr int kAt45Attempts = 5;
constexpr int kIdentMs = 50;
constexpr int kShortResetMaxMs = 5;

}  // namespace

BoardLink::BoardLink(SerialLink& port, OperatorInterface& op, const MessageCatalog& catalog, Clock& clock)
    : port_(port), op_(op), catalog_(catalog), clock_(clock) {}

bool BoardLink::Send(std::initializer_list<std::uint8_t> bytes) {
  return port_.SendBlock(bytes.begin(), bytes.size());
}

bool BoardLink::ExpectCr() { return port_.ReceiveByte() == ReplyCr; }

void BoardLink::ReportConnectFailure() {
  ShowInfo(op_, catalog_, catalog_.GetText(msg::ConnectionError));
  op_.SetStatus(catalog_.GetText(msg::ConnectionError));
}

bool BoardLink::Connect(const ConnectOptions& options, int portNumber, bool highSpeed) {
  loaderMode_ = false;
  versionConflict_ = false;
  options_ = options;
  const DeviceRecord* device = DeviceAt(options.deviceNumber);
  if (!device) {
    // A device number outside the table: refuse before a byte goes to the board.
    op_.SetStatus(catalog_.GetText(msg::ConnectionError));
    ShowInfo(op_, catalog_, catalog_.GetText(msg::ConnectionError));
    return false;
  }
  currentDevice_ = device;
  currentDeviceNumber_ = options.deviceNumber;

  if (!port_.Open(portNumber - 1, LowBaud)) {
    op_.SetStatus(catalog_.GetText(msg::ConnectionError));
    ShowCannotOpen(portNumber);
    return false;
  }
  bool reported = false;
  if (ConnectSteps(portNumber, highSpeed, reported)) return true;
  if (!reported) {
    EndSession();
    ReportConnectFailure();
  }
  return false;
}

// Everything after the first open; `reported` is set where the failure has already been shown
// and the port dealt with.
bool BoardLink::ConnectSteps(int portNumber, bool highSpeed, bool& reported) {
  const DeviceRecord& device = *currentDevice_;
  const bool at45 = device.Family == DeviceFamily::At45;

  if (!port_.SendByte(CmdWake)) return false;
  clock_.SleepMs(kWakeMs);
  if (!port_.SendByte(CmdGetVersion)) return false;
  const std::uint8_t* reply = port_.Receive(3);
  if (!reply) return false;
  std::uint8_t version[3] = {reply[0], reply[1], reply[2]};
  if (!CheckVersion(version, false)) {
    EndSession();
    reported = true;
    return false;
  }

  if (!Send({CmdSetDevice, static_cast<std::uint8_t>(device.BoardDeviceCode)}) || !ExpectCr()) return false;
  if (!Send({CmdSetAddress, 0, 0}) || !ExpectCr()) return false;

  const std::uint8_t sck = at45 ? At45SckCode : SckCode(options_.spiPeriod);
  if (!Send({CmdSetMode, static_cast<std::uint8_t>(highSpeed ? 1 : 0), sck,
             static_cast<std::uint8_t>(options_.polling ? 1 : 0)}))
    return false;
  clock_.SleepMs(kSetModeMs);
  if (!ExpectCr()) return false;
  clock_.SleepMs(kSetModeMs);

  if (highSpeed) {
    // The board acknowledged at the old rate and listens at 115200 from now on.
    port_.Disconnect();
    clock_.SleepMs(kReopenMs);
    if (!port_.Open(portNumber - 1, HighBaud)) {
      ShowCannotOpen(portNumber);
      op_.SetStatus(catalog_.GetText(msg::ConnectionError));
      reported = true;
      return false;
    }
    clock_.SleepMs(kReopenMs);
  }

  if (at45) return ProbeAt45();

  if (device.ProgrammingClass != ClassAvr) {
    if (!port_.SendByte(CmdResetAlt) || port_.ReceiveByte() < 0) return false;
    // These chips answer programming enable in their own way; neither send nor reply is judged.
    if (device.ProgrammingClass == ClassAt89S4Byte)
      Send({CmdSpi4, kProgEnable[0], kProgEnable[1], kProgEnable[2], kProgEnable[3]});
    else
      Send({CmdSpi3, kProgEnable[0], kProgEnable[1], kProgEnable[2]});
    port_.ReceiveByte();
    op_.SetStatus(catalog_.GetText(msg::ConnectionAccepted));
    return true;
  }

  if (options_.resetStrobeLengthMs > kShortResetMaxMs) {
    if (!port_.SendByte(CmdResetTimed) || port_.ReceiveByte() < 0) return false;
    op_.SetStatus(FormatText(catalog_.GetText(msg::ResetStrobe), options_.resetStrobeLengthMs));
    clock_.SleepMs(options_.resetStrobeLengthMs);
  } else {
    if (!port_.SendByte(CmdResetShort) || port_.ReceiveByte() < 0) return false;
  }

  bool sent;
  if (device.NoSyncFlag != 0 || options_.noSynchronization)
    sent = Send({CmdSpi4, kProgEnable[0], kProgEnable[1], kProgEnable[2], kProgEnable[3]});
  else
    sent = port_.SendByte(CmdEnableSync);
  if (!sent || port_.ReceiveByte() < 0) return false;
  op_.SetStatus(catalog_.GetText(msg::ConnectionAccepted));
  return true;
}

bool BoardLink::ProbeAt45() {
  int found = -1;
  for (int attempt = 0; attempt < kAt45Attempts; ++attempt) {
    if (attempt > 0) clock_.SleepMs(kAt45RetryMs);
    if (!port_.SendByte(CmdFlashSelect)) return false;
    clock_.SleepMs(kAt45SelectMs);
    if (!ExpectCr()) return false;
    if (!Send({CmdSpiPut, kAt45StatusRead}) || !ExpectCr()) return false;
    clock_.SleepMs(kAt45SelectMs);
    if (!port_.SendByte(CmdSpiGet)) return false;
    const int status = port_.ReceiveByte();
    if (status < 0) return false;
    if (!port_.SendByte(CmdFlashDeselect) || !ExpectCr()) return false;
    if (status != 0xFF) {
      found = FindAt45ByStatus(static_cast<std::uint8_t>(status));
      if (found >= 0) break;
    }
  }
  op_.SetStatus("");
  if (found == currentDeviceNumber_)
    op_.SetStatus(catalog_.GetText(msg::At45Detected));
  else if (found < 0)
    op_.SetStatus(catalog_.GetText(msg::At45NotDetected));
  else
    op_.SetStatus(FormatText(catalog_.GetText(msg::At45NotDetectedAs), std::string(DeviceAt(found)->Name).c_str()));
  // The operation goes on in every case: the operator has been told what answered.
  return true;
}

bool BoardLink::EndSession() {
  bool ok = port_.SendByte(CmdEndSession) && ExpectCr() &&
            Send({CmdSetMode, 0, SckCode(options_.spiPeriod), static_cast<std::uint8_t>(options_.polling ? 1 : 0)}) &&
            ExpectCr();
  port_.Disconnect();
  return ok;
}

void BoardLink::ShowCannotOpen(int portNumber) {
  if (const auto path = port_.NotASerialDevice(portNumber - 1))
    ShowInfo(op_, catalog_, FormatText(catalog_.GetText(msg::NotASerialPort), path->c_str()));
  else
    ShowInfo(op_, catalog_, catalog_.GetText(msg::CannotOpenComPort));
}

bool BoardLink::ReadVersion(int portNumber, bool check, bool silent, bool quiet) {
  loaderMode_ = false;
  versionConflict_ = false;
  if (!port_.Open(portNumber - 1, LowBaud)) {
    if (!silent) {
      op_.SetStatus(catalog_.GetText(msg::ConnectionError));
      ShowCannotOpen(portNumber);
    }
    return false;
  }
  clock_.SleepMs(kWakeMs);
  const std::uint8_t* reply = nullptr;
  if (port_.SendByte(CmdWake)) {
    clock_.SleepMs(kWakeMs);
    if (port_.SendByte(CmdGetVersion)) {
      clock_.SleepMs(kWakeMs);
      reply = port_.Receive(3);
    }
  }
  if (!reply) {
    boardVersion_ = {0, 0, 0};
    Quit();
    if (!silent) {
      op_.SetStatus(catalog_.GetText(msg::ConnectionError));
      ShowInfo(op_, catalog_, catalog_.GetText(msg::ConnectionError));
    }
    return false;
  }
  boardVersion_ = {reply[0], reply[1], reply[2]};
  if (check && !CheckVersion(boardVersion_.data(), quiet)) {
    Quit();
    return false;
  }
  return true;
}

bool BoardLink::CheckVersion(const std::uint8_t reply[3], bool quiet) {
  loaderMode_ = false;
  versionConflict_ = false;
  auto is = [&](char a, char b, char c) { return reply[0] == a && reply[1] == b && reply[2] == c; };
  if (is('e', 'r', 'r')) {
    if (!quiet) {
      ShowInfo(op_, catalog_, catalog_.GetText(msg::InternalSyncError));
      op_.SetStatus(catalog_.GetText(msg::ConnectionError));
    }
    return false;
  }
  if (is('l', 'd', 'r')) {
    loaderMode_ = true;
    if (!quiet) {
      ShowInfo(op_, catalog_, catalog_.GetText(msg::VersionConflictLoader));
      op_.SetStatus(catalog_.GetText(msg::VersionConflictUpdate));
    }
    return false;
  }
  if (is(RequiredVersion[0], RequiredVersion[1], RequiredVersion[2])) return true;
  versionConflict_ = true;
  if (!quiet) {
    ShowInfo(op_, catalog_,
             FormatText(catalog_.GetText(msg::VersionConflictDetails), reply[0], reply[1], reply[2],
                        RequiredVersion[0], RequiredVersion[1], RequiredVersion[2]));
    op_.SetStatus(catalog_.GetText(msg::VersionConflictUpdate));
  }
  return false;
}

bool BoardLink::Quit() {
  bool sent = port_.SendByte(CmdQuit);
  port_.Disconnect();
  return sent;
}

bool BoardLink::ReadBoardIdent(int portNumber, std::string* identOut, std::array<std::uint8_t, 5>* serialOut,
                               bool showVersionMessages) {
  if (identOut) *identOut = catalog_.GetText(msg::UnknownFirmwareVersion);
  op_.SetStatus(catalog_.GetText(msg::ReadingFirmwareVersion));
  if (portNumber == 0) {
    op_.SetStatus(catalog_.GetText(msg::SelectComPort));
    ShowInfo(op_, catalog_, catalog_.GetText(msg::NoBoardSpecified));
    return false;
  }
  WaitCursor wait(op_);
  if (!ReadVersion(portNumber, true, false, !showVersionMessages)) return false;

  auto fail = [&](int messageId) {
    op_.SetStatus(catalog_.GetText(messageId));
    ShowInfo(op_, catalog_, catalog_.GetText(messageId));
    Quit();
    return false;
  };
  if (!port_.SendByte(CmdGetIdent)) return fail(msg::ConnectionError);
  clock_.SleepMs(kIdentMs);
  const int length = port_.ReceiveByte();
  if (length < 0) return fail(msg::ErrorReadingVersion);
  boardIdent_ = catalog_.GetText(msg::UnknownVersion);
  clock_.SleepMs(kIdentMs);
  const std::uint8_t* text = port_.Receive(static_cast<std::size_t>(length) + 1);
  if (!text || text[length] != ReplyCr) return fail(msg::ErrorReadingVersion);
  boardIdent_.assign(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));

  std::string serialText;
  if (!port_.SendByte(CmdGetSerial)) {
    ShowInfo(op_, catalog_, catalog_.GetText(msg::ErrorReadingSerial));
  } else {
    const std::uint8_t* serial = port_.Receive(6);
    if (!serial || serial[5] != ReplyCr) {
      ShowInfo(op_, catalog_, catalog_.GetText(msg::ErrorReadingSerial));
      Quit();
      return false;
    }
    if (serialOut) std::copy(serial, serial + 5, serialOut->begin());
    serialText = FormatText(catalog_.GetText(msg::SerialNumberSuffix), serial[0], serial[1], serial[2], serial[3],
                            serial[4]);
  }
  if (!Quit()) ShowInfo(op_, catalog_, catalog_.GetText(msg::IncorrectDisconnection));
  // The board chooses the text; what cannot be shown is shown as "?".
  std::string shown = boardIdent_;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  op_.SetStatus(shown + serialText);
  if (identOut) *identOut = boardIdent_;
  return true;
}

bool BoardLink::ReadSignatureBytes(std::array<std::uint8_t, 3>& sig) {
  sig = {0xFF, 0xFF, 0xFF};
  for (std::uint8_t i = 0; i < 3; ++i) {
    if (!Send({CmdSpiRead4, kReadSignature, 0x00, i})) return false;
    const int b = port_.ReceiveByte();
    if (b < 0) return false;
    sig[i] = static_cast<std::uint8_t>(b);
  }
  return true;
}

}  // namespace zr7
