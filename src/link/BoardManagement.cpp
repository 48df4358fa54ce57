#include "link/BoardManagement.h"

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "link/PortMap.h"

namespace zr7 {

namespace {

constexpr int kSearchIdentMs = 20;
constexpr int kCalibrationSettleMs = 40;
constexpr std::uint8_t kReadCalibration = 0x38;
constexpr const char* kSupplyLow = "3.3";

bool Printable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

}  // namespace

std::array<char, 6> IdentVersionChars(const std::string& ident) {
  std::array<char, 6> out{};
  constexpr std::size_t kAt[6] = {0, 1, 2, 4, 6, 7};
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::size_t at = kAt[i];
    out[i] = at < ident.size() && Printable(static_cast<unsigned char>(ident[at])) ? ident[at] : '?';
  }
  return out;
}

std::string PrintableText(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (!Printable(static_cast<unsigned char>(c))) c = '?';
  return out;
}

SearchResult BoardManagement::SearchBoard() {
  OperatorInterface& op = link_.Operator();
  const MessageCatalog& catalog = link_.Catalog();
  SerialLink& port = link_.Port();
  SearchResult result;
  op.SetStatus(catalog.GetText(msg::SearchingBoard));
  WaitCursor wait(op);
  for (int com = 1; com <= PortCount; ++com) {
    op.SetStatus(FormatText(catalog.GetText(msg::SearchingBoardOnCom), com));
    // Connection errors stay silent; a board of another version is shown but not listed.
    if (!link_.ReadVersion(com, true, true, false)) continue;
    std::string text = catalog.GetText(msg::SearchUnknownVersion);
    if (port.SendByte(CmdGetIdent)) {
      link_.Time().SleepMs(kSearchIdentMs);
      const int length = port.ReceiveByte();
      if (length >= 0) {
        const std::uint8_t* bytes = port.Receive(static_cast<std::size_t>(length) + 1);
        if (bytes && bytes[length] == ReplyCr)
          text = PrintableText(std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length)));
      }
    }
    link_.Quit();
    const std::string entry = FormatText(catalog.GetText(msg::BoardOnCom), text.c_str(), com);
    if (result.ports.empty()) {
      result.port = com;
      result.listText = entry;
    } else {
      result.listText += ",  " + entry;
    }
    result.ports.push_back(com);
  }
  if (result.ports.empty()) result.listText = catalog.GetText(msg::BoardNotFound);
  op.SetStatus(result.listText);
  return result;
}

bool BoardManagement::ShowBoardInfo(int portNumber, std::string* identOut, std::array<std::uint8_t, 5>* serialOut) {
  std::string ident;
  std::array<std::uint8_t, 5> serial{};
  if (!link_.ReadBoardIdent(portNumber, &ident, &serial, true)) return false;
  const std::array<char, 6> c = IdentVersionChars(ident);
  ShowNotice(link_.Operator(), link_.Catalog(),
             FormatText(link_.Catalog().GetText(msg::BoardInfo), c[0], c[1], c[2], c[3], c[4], c[5], kSupplyLow,
                        serial[0], serial[1], serial[2], serial[3], serial[4]));
  if (identOut) *identOut = ident;
  if (serialOut) *serialOut = serial;
  return true;
}

bool BoardManagement::ReadCalibration(const ConnectOptions& options, int portNumber, CalibrationResult* out) {
  OperatorInterface& op = link_.Operator();
  const MessageCatalog& catalog = link_.Catalog();
  // Checked here, as every chip command does, rather than letting port 0 fail in the open.
  if (portNumber == 0) {
    op.SetStatus(catalog.GetText(msg::SelectComPort));
    ShowInfo(op, catalog, catalog.GetText(msg::NoBoardSpecified));
    return false;
  }
  WaitCursor wait(op);
  if (!link_.Connect(options, portNumber, false)) return false;
  op.SetStatus(catalog.GetText(msg::ReadingCalibration));
  link_.Time().SleepMs(kCalibrationSettleMs);

  const std::uint32_t count = link_.CurrentDevice()->CalibrationCount;
  CalibrationResult result;
  for (std::uint32_t i = 0; i < count; ++i) {
    int b = -1;
    if (link_.Send({CmdSpiRead4, kReadCalibration, 0x00, static_cast<std::uint8_t>(i)}))
      b = link_.Port().ReceiveByte();
    if (b < 0) {
      link_.EndSession();
      op.SetStatus(catalog.GetText(msg::CalibrationError));
      wait.Release();
      ShowInfo(op, catalog, catalog.GetText(msg::ConnectionError));
      return false;
    }
    result.bytes.push_back(static_cast<std::uint8_t>(b));
  }

  const bool many = count >= 2;
  result.longText = catalog.GetText(many ? msg::CalibrationHeadingMany : msg::CalibrationHeadingOne);
  result.shortText = catalog.GetText(many ? msg::CalibrationShortMany : msg::CalibrationShortOne);
  int mhz = 1;
  for (std::uint8_t b : result.bytes) {
    result.longText += FormatText("\n    %d MHz: 0x%02X", mhz, b);
    result.shortText += FormatText(" %02X", b);
    mhz *= 2;
  }
  op.SetStatus(result.shortText);
  ShowInfo(op, catalog, result.longText);
  link_.EndSession();
  if (out) *out = std::move(result);
  return true;
}

}  // namespace zr7
