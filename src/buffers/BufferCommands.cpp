#include "buffers/BufferCommands.h"

#include <algorithm>
#include <new>
#include <optional>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"

namespace zr7 {

namespace {

void ShowStop(MemoryBuffer& buffer, std::string text) {
  buffer.Operator()->ShowBox(
      {buffer.Catalog()->GetText(msg::ProductTitle), std::move(text), BoxIcon::Error, BoxButtons::Ok});
}

void ShowCannotRead(MemoryBuffer& buffer, const std::string& path) {
  ShowStop(buffer, FormatText(buffer.Catalog()->GetText(msg::CannotReadFile), path.c_str()));
}

// The common end of a successful load or merge: the image now is the file's. `tookRaw`: the
// file failed as Intel HEX and its raw bytes were taken, which the next status line tells.
bool FinishLoad(MemoryBuffer& buffer, const std::string& path, bool tookRaw) {
  auto& data = buffer.data();
  try {
    if (!buffer.isEeprom()) PadToWords(data);
    buffer.states().assign(data.size(), StateFromFile);
  } catch (const std::bad_alloc&) {
    std::vector<std::uint8_t>().swap(buffer.states());
  }
  buffer.SetFileName(path);
  buffer.SetTakenAsRaw(tookRaw ? path : std::string());
  buffer.SetModifiedFlag(false);
  if (buffer.Project()) buffer.Project()->ClearModifiedIfClean();
  buffer.Changed();
  return true;
}

HexFallback FallbackOf(const MemoryBuffer& buffer) {
  return buffer.rawFallback() ? HexFallback::RawBytes : HexFallback::Refuse;
}

bool IsUnspecified(const std::string& path) { return path == Unspecified; }

}  // namespace

bool LoadFile(MemoryBuffer& buffer, const std::string& path) {
  if (IsUnspecified(path)) return buffer.Clear();
  bool tookRaw = false;
  switch (SetFromFileContents(buffer, path, &tookRaw)) {
    case ReadStatus::Ok:
      return FinishLoad(buffer, path, tookRaw);
    case ReadStatus::CannotRead:
      ShowCannotRead(buffer, path);
      return false;
    case ReadStatus::Refused:
      return false;  // the reader has said why; the previous image stays
    case ReadStatus::NoMemory:
      break;
  }
  buffer.Changed();  // no room: what the image holds now is not what it held
  ShowStop(buffer, buffer.Catalog()->GetText(msg::CannotLoadFile));
  return false;
}

bool LoadFileAt(MemoryBuffer& buffer, const std::string& path) {
  if (buffer.empty()) return false;
  if (IsUnspecified(path)) return buffer.Clear();

  OperatorInterface& op = *buffer.Operator();
  const MessageCatalog& catalog = *buffer.Catalog();
  std::vector<std::uint8_t> image;
  bool merged = false;
  bool tookRaw = false;
  const ReadStatus read = ReadForMerge(op, catalog, path, image, FallbackOf(buffer), &tookRaw);
  if (read == ReadStatus::CannotRead) {
    ShowCannotRead(buffer, path);
    return false;
  }
  if (read == ReadStatus::Refused) return false;  // the reader has said why
  if (read == ReadStatus::Ok) {
    const std::uint32_t size = buffer.size();
    const std::optional<std::uint32_t> address = op.AskLoadAddress(size);
    if (address) {
      const std::uint64_t end = std::uint64_t{*address} + image.size();
      if (end > MaxImageSize) {
        ShowStop(buffer, FormatText(catalog.GetText(msg::LoadAtBeyondLargestImage), path.c_str(), unsigned{*address},
                                    static_cast<unsigned>(image.size()), unsigned{MaxImageSize}));
        return false;
      }
      const bool go = *address >= size ||
                      op.ShowBox({catalog.GetText(msg::ProductTitle), catalog.GetText(msg::LoadOverlapQuestion),
                                  BoxIcon::Question, BoxButtons::YesNo}) == BoxAnswer::Yes;
      if (go) {
        try {
          auto& data = buffer.data();
          if (end > size) {
            data.reserve(static_cast<std::size_t>(end));  // exactly: growth would otherwise double
            data.resize(static_cast<std::size_t>(end), 0xFF);
          }
          std::copy(image.begin(), image.end(), data.begin() + *address);
          merged = true;
        } catch (const std::bad_alloc&) {
          // the image is as it was: growing failed before anything was copied
        }
      }
    }
  }
  if (!merged) {
    ShowStop(buffer, catalog.GetText(msg::CannotLoadFile));
    return false;
  }
  buffer.SetModifiedFlag(true);
  buffer.Changed();
  return FinishLoad(buffer, path, tookRaw);
}

bool MayReplaceImage(MemoryBuffer& buffer) {
  if (buffer.empty() || !buffer.modified()) return true;
  const MessageCatalog& catalog = *buffer.Catalog();
  const bool named = buffer.HasFileName();
  int question = buffer.isEeprom() ? msg::EepromUnnamedBeforeLoad : msg::FlashUnnamedBeforeLoad;
  if (named) question = buffer.isEeprom() ? msg::EepromUnsavedBeforeLoad : msg::FlashUnsavedBeforeLoad;
  const std::string text = named ? FormatText(catalog.GetText(question), buffer.fileName().c_str())
                                 : std::string(catalog.GetText(question));
  switch (buffer.Operator()->ShowBox(
      {catalog.GetText(msg::ProductTitle), text, BoxIcon::Question, BoxButtons::YesNoCancel})) {
    case BoxAnswer::Yes:
      return Save(buffer) && !buffer.modified();
    case BoxAnswer::No:
      return true;
    default:
      return false;
  }
}

bool Open(MemoryBuffer& buffer) {
  const std::optional<std::string> path = buffer.Operator()->ChooseFileToOpen(buffer.OpenRequest());
  return path && MayReplaceImage(buffer) && LoadFile(buffer, *path);
}

bool OpenAt(MemoryBuffer& buffer) {
  const std::optional<std::string> path = buffer.Operator()->ChooseFileToOpen(buffer.OpenRequest());
  if (!path || !LoadFileAt(buffer, *path)) return false;
  // The image is now the old one with the file merged in: what no file holds, so it is
  // unsaved, and a project save asks before writing it over the merged file.
  buffer.MarkModified();
  return true;
}

bool Reload(MemoryBuffer& buffer) {
  if (!buffer.HasFileName()) return buffer.Clear();
  const std::string path = buffer.fileName();
  buffer.Clear();
  // The label shows "[Unspecified]" until the load succeeds; the name stays for the next try.
  buffer.SetFileName(path);
  return LoadFile(buffer, path);
}

bool Save(MemoryBuffer& buffer) {
  if (buffer.empty()) return true;
  if (buffer.HasFileName()) return WriteFile(buffer, buffer.fileName());
  return SaveAs(buffer);
}

bool SaveAs(MemoryBuffer& buffer) {
  if (buffer.empty()) return false;
  const std::optional<std::string> path = buffer.Operator()->ChooseFileToSave(buffer.SaveRequest());
  if (!path) return false;
  // A failed save keeps the old name too: the image still belongs to the old file.
  std::string old = buffer.fileName();
  buffer.SetFileName(*path);
  if (WriteFile(buffer, *path)) return true;
  buffer.SetFileName(std::move(old));
  return false;
}

std::string ImageStatusText(const MessageCatalog& catalog, bool isEeprom, std::span<const std::uint8_t> image) {
  const auto size = static_cast<unsigned>(image.size());
  return FormatText(catalog.GetText(isEeprom ? msg::EepromLength : msg::FlashLength), static_cast<int>(size), size,
                    unsigned{ImageChecksum(image)});
}

std::string BufferStatusText(const MemoryBuffer& buffer) {
  return ImageStatusText(*buffer.Catalog(), buffer.isEeprom(), buffer.data());
}

void ShowBufferStatus(MemoryBuffer& buffer) {
  std::string text = BufferStatusText(buffer);
  if (!buffer.takenAsRaw().empty()) {
    // Once, right after the load: a later status of the same image is about something else.
    text = FormatText(buffer.Catalog()->GetText(msg::TakenAsRawStatus), text.c_str(), buffer.takenAsRaw().c_str());
    buffer.SetTakenAsRaw({});
  }
  buffer.Operator()->SetStatus(text);
}

bool LoadCommand(MemoryBuffer& buffer) {
  if (!Open(buffer)) return false;
  ShowBufferStatus(buffer);
  return true;
}

bool LoadAtCommand(MemoryBuffer& buffer) {
  if (!OpenAt(buffer)) return false;
  ShowBufferStatus(buffer);
  return true;
}

bool ReloadCommand(MemoryBuffer& buffer, std::int32_t& lastOperationStatus) {
  lastOperationStatus = -1;
  if (!Reload(buffer)) return false;
  ShowBufferStatus(buffer);
  lastOperationStatus = 0;
  return true;
}

bool SaveCommand(MemoryBuffer& buffer) {
  const bool ok = Save(buffer);
  ShowBufferStatus(buffer);
  return ok;
}

bool SaveAsCommand(MemoryBuffer& buffer) {
  if (!SaveAs(buffer)) return false;
  ShowBufferStatus(buffer);
  return true;
}

void CloseCommand(MemoryBuffer& buffer) { buffer.Clear(); }

DropDecision DecideDrop(const std::vector<std::string>& files, DropZone zone) {
  using Action = DropDecision::Action;
  if (files.size() != 1 || files[0].empty()) return {};
  const std::string& path = files[0];
  // The extension is the file's own: a dot in a folder name does not count.
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == 0) return {};
  std::string extension(dot == std::string_view::npos ? name : name.substr(dot + 1));
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // The name itself keeps its letter case: on Linux "x.HEX" and "x.hex" are two files.
  if (extension == "zr7") return {Action::OpenProject, path};
  switch (zone) {
    case DropZone::None:
      return {Action::Beep, path};
    case DropZone::FlashView:
      return {Action::LoadFlash, path};
    case DropZone::EepromView:
      return {Action::LoadEeprom, path};
  }
  return {};
}

}  // namespace zr7
