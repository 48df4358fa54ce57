#include "buffers/ConvertImage.h"

#include <vector>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/BufferCommands.h"
#include "buffers/ImageFiles.h"

namespace zr7 {

// The steps of LoadFile and WriteFile without a buffer around them: a conversion has no view
// to colour, so the per-byte states (another 8 MiB to fill twice) are left out.
bool ConvertImage(OperatorInterface& op, const MessageCatalog& catalog, const std::string& in,
                  const std::string& out, bool eeprom) {
  std::vector<std::uint8_t> image;
  const auto stop = [&](std::string text) {
    op.ShowBox({catalog.GetText(msg::ProductTitle), std::move(text), BoxIcon::Error, BoxButtons::Ok});
    return false;
  };
  // A conversion is read as the command line reads what it programs: a file that is not the
  // Intel HEX its name promises is refused rather than written out as its characters.
  bool tookRaw = false;
  switch (ReadForMerge(op, catalog, in, image, HexFallback::Refuse, &tookRaw)) {
    case ReadStatus::Ok:
      break;
    case ReadStatus::CannotRead:
      return stop(FormatText(catalog.GetText(msg::CannotReadFile), in.c_str()));
    case ReadStatus::NoMemory:
      return stop(catalog.GetText(msg::CannotLoadFile));
    case ReadStatus::Refused:
      return false;  // the reader has said why
  }
  // An empty image would replace a good output with nothing.
  if (image.empty()) return stop(FormatText(catalog.GetText(msg::ConvertEmptyNotWritten), in.c_str(), out.c_str()));
  if (!eeprom) PadToWords(image);
  if (!WriteImageFile(op, catalog, image, out)) return false;
  const std::string status = ImageStatusText(catalog, eeprom, image);
  op.SetStatus(tookRaw ? FormatText(catalog.GetText(msg::TakenAsRawStatus), status.c_str(), in.c_str()) : status);
  return true;
}

}  // namespace zr7
