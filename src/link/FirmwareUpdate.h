#pragma once
// Installing new board firmware through the board's own loader: the image (from a file the
// operator names) goes out in 4-byte blocks, each acknowledged by CR, on a progress worker that
// cannot be cancelled, because a board stopped half-way is left without firmware.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/BoardLink.h"
#include "operator/ProgressOperation.h"

namespace zr7 {

inline constexpr std::size_t FirmwareImageSize = 12288;
inline constexpr std::size_t FirmwareBlockSize = 4;
inline constexpr std::size_t FirmwareBlockCount = FirmwareImageSize / FirmwareBlockSize;

using LoaderConfirmation = std::array<std::uint8_t, 8>;

// Reads an image file whole; false, with a message of its own, when it cannot be read or is
// not exactly FirmwareImageSize bytes.
bool LoadFirmwareImage(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                       std::vector<std::uint8_t>& image);
// 16 hex digits (either case) into the eight confirmation bytes.
std::optional<LoaderConfirmation> ParseConfirmation(std::string_view hex);

enum class FirmwareSpeed : std::uint8_t { Normal, Reduced };

class FirmwareUpdateOperation : public ProgressOperation {
 public:
  FirmwareUpdateOperation(BoardLink& link, const std::vector<std::uint8_t>& image,
                          std::optional<LoaderConfirmation> confirmation, FirmwareSpeed speed);
  std::int32_t Run() override;
  // The board asked for a confirmation sequence that was not given: nothing of the image went.
  bool ConfirmationMissing() const { return confirmationMissing_; }

 private:
  BoardLink& link_;
  const std::vector<std::uint8_t>& image_;
  std::optional<LoaderConfirmation> confirmation_;
  FirmwareSpeed speed_;
  bool confirmationMissing_ = false;
};

struct FirmwareUpdateRequest {
  int portNumber = 0;
  std::string imagePath;
  std::optional<LoaderConfirmation> confirmation;
  FirmwareSpeed speed = FirmwareSpeed::Normal;
};

// The versions the operator decides on: current (empty when unknown) and offered.
struct FirmwareVersions {
  std::string current;
  std::string offered;
  bool boardEmpty = false;  // the board is in its loader: no firmware to show
};

// The whole command: reads the board's current version, asks `confirm` (the dialog, which may
// change the file, the sequence and the speed of the request), then reads the image and streams
// it. A wrong image is refused before anything is written to the board. True when the board
// took the whole image.
using FirmwareConfirm = std::function<bool(const FirmwareVersions&, FirmwareUpdateRequest&)>;
bool UpdateFirmware(BoardLink& link, FirmwareUpdateRequest request, const FirmwareConfirm& confirm);
// The same for a request settled beforehand (the command line): the image is checked before
// the board hears anything at all.
bool UpdateFirmware(BoardLink& link, const FirmwareUpdateRequest& request,
                    const std::function<bool(const FirmwareVersions&)>& confirm);

}  // namespace zr7
