#include "link/FirmwareUpdate.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "link/BoardManagement.h"
#include "link/Commands.h"

namespace zr7 {

namespace {

constexpr std::uint8_t kLoaderWantsConfirmation = 'e';

struct Pauses {
  int beforeEnter, afterEnter, confirmationByte, afterConfirmation, beforeFirstBlock, every32nd, otherBlock;
};
constexpr Pauses kNormal{50, 50, 15, 20, 25, 17, 0};
constexpr Pauses kReduced{100, 100, 50, 50, 50, 30, 5};

}  // namespace

bool LoadFirmwareImage(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                       std::vector<std::uint8_t>& image) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    ShowInfo(op, catalog, FormatText(catalog.GetText(msg::FirmwareFileUnreadable), path.c_str()));
    return false;
  }
  if (bytes.size() != FirmwareImageSize) {
    ShowInfo(op, catalog,
             FormatText(catalog.GetText(msg::FirmwareFileWrongSize), path.c_str(), static_cast<unsigned>(bytes.size()),
                        static_cast<unsigned>(FirmwareImageSize)));
    return false;
  }
  image = std::move(bytes);
  return true;
}

std::optional<LoaderConfirmation> ParseConfirmation(std::string_view hex) {
  if (hex.size() != 16) return std::nullopt;
  LoaderConfirmation out{};
  for (std::size_t i = 0; i < 16; ++i) {
    const int c = std::tolower(static_cast<unsigned char>(hex[i]));
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else
      return std::nullopt;
    out[i / 2] = static_cast<std::uint8_t>(out[i / 2] << 4 | v);
  }
  return out;
}

FirmwareUpdateOperation::FirmwareUpdateOperation(BoardLink& link, const std::vector<std::uint8_t>& image,
                                                 std::optional<LoaderConfirmation> confirmation, FirmwareSpeed speed)
    : ProgressOperation(link.Catalog()), link_(link), image_(image), confirmation_(confirmation), speed_(speed) {
  SetCancelAllowed(false);
}

std::int32_t FirmwareUpdateOperation::Run() {
  const MessageCatalog& catalog = link_.Catalog();
  SerialLink& port = link_.Port();
  Clock& clock = link_.Time();
  const Pauses& p = speed_ == FirmwareSpeed::Reduced ? kReduced : kNormal;
  auto fail = [&] {
    ShowInfo(link_.Operator(), catalog, catalog.GetText(msg::ConnectionError));
    return std::int32_t{ResultCommunicationError};
  };
  BeginPhase(catalog.GetText(msg::FirmwareUpdateCaption), catalog.GetText(msg::UpdatingFirmware),
             static_cast<std::int32_t>(FirmwareBlockCount));
  if (image_.size() != FirmwareImageSize) return fail();

  clock.SleepMs(p.beforeEnter);
  if (!port.SendByte(CmdEnterLoader)) return fail();
  clock.SleepMs(p.afterEnter);
  const int reply = port.ReceiveByte();
  if (reply == kLoaderWantsConfirmation) {
    if (!confirmation_) {
      // Without the sequence the loader is never entered and the firmware stays as it was.
      confirmationMissing_ = true;
      ShowInfo(link_.Operator(), catalog, catalog.GetText(msg::FirmwareConfirmationNeeded));
      return ResultCommunicationError;
    }
    for (std::uint8_t b : *confirmation_) {
      if (!port.SendByte(b)) return fail();
      clock.SleepMs(p.confirmationByte);
    }
    clock.SleepMs(p.afterConfirmation);
    if (port.ReceiveByte() != ReplyCr) return fail();
  } else if (reply != ReplyCr) {
    return fail();
  }

  clock.SleepMs(p.beforeFirstBlock);
  for (std::size_t j = 0; j < FirmwareBlockCount; ++j) {
    for (std::size_t k = 0; k < FirmwareBlockSize; ++k)
      if (!port.SendByte(image_[j * FirmwareBlockSize + k])) return fail();
    const int pause = j % 32 == 31 ? p.every32nd : p.otherBlock;
    if (pause > 0) clock.SleepMs(pause);
    if (port.ReceiveByte() != ReplyCr) return fail();
    // Counted from one so the bar reaches the whole with the last CR.
    ReportProgress(static_cast<std::int32_t>(j + 1));
  }
  return ResultSuccess;
}

bool UpdateFirmware(BoardLink& link, const FirmwareUpdateRequest& request,
                    const std::function<bool(const FirmwareVersions&)>& confirm) {
  std::vector<std::uint8_t> image;
  if (!LoadFirmwareImage(link.Operator(), link.Catalog(), request.imagePath, image)) return false;
  return UpdateFirmware(link, request,
                        [&](const FirmwareVersions& versions, FirmwareUpdateRequest&) { return confirm(versions); });
}

bool UpdateFirmware(BoardLink& link, FirmwareUpdateRequest request, const FirmwareConfirm& confirm) {
  OperatorInterface& op = link.Operator();
  const MessageCatalog& catalog = link.Catalog();
  if (request.portNumber == 0) {
    op.SetStatus(catalog.GetText(msg::SelectComPort));
    ShowInfo(op, catalog, catalog.GetText(msg::NoBoardSpecified));
    return false;
  }

  FirmwareVersions versions;
  std::string ident;
  if (link.ReadBoardIdent(request.portNumber, &ident, nullptr, false)) {
    const std::array<char, 6> c = IdentVersionChars(ident);
    versions.current = FormatText("%c%c%c %c.%c%c", c[0], c[1], c[2], c[3], c[4], c[5]);
  } else if (link.LoaderMode()) {
    versions.current = catalog.GetText(msg::FirmwareNotProgrammed);
    versions.boardEmpty = true;
  } else if (link.VersionConflict()) {
    const auto& v = link.BoardVersion();
    versions.current = FormatText("%c.%c%c", v[0], v[1], v[2]);
  }
  const auto& r = BoardLink::RequiredVersion;
  versions.offered = FormatText("ZR7 %c.%c%c", r[0], r[1], r[2]);
  if (!confirm(versions, request)) return false;
  // Read now, after the choice: the file the operator named last is the one that goes.
  std::vector<std::uint8_t> image;
  if (!LoadFirmwareImage(op, catalog, request.imagePath, image)) return false;

  // Whatever the version, the board must answer: a board in its loader passes here.
  if (!link.ReadVersion(request.portNumber, false, false, false)) {
    link.Quit();
    return false;
  }
  FirmwareUpdateOperation operation(link, image, request.confirmation, request.speed);
  const std::int32_t result = op.RunProgress(operation);
  link.Quit();
  if (result != ResultSuccess) {
    op.SetStatus(catalog.GetText(msg::FirmwareUpdateFailed));
    return false;
  }
  op.SetStatus(catalog.GetText(msg::FirmwareUpdated));
  if (!link.ReadBoardIdent(request.portNumber, nullptr, nullptr, false)) {
    op.SetStatus(catalog.GetText(msg::FirmwareUpdateFailed));
    return false;
  }
  return true;
}

}  // namespace zr7
