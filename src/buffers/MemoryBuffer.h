#pragma once
// One memory image of the target chip (Flash or Eeprom): the bytes, a state per byte telling
// where it came from, the file it belongs to. It reports every change as a range to the view.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "operator/OperatorInterface.h"
#include "operator/ViewInterface.h"

namespace zr7 {

class MessageCatalog;

// The text that stands for "no file".
inline constexpr std::string_view Unspecified = "[Unspecified]";

// The largest image: the largest memory in the device table.
inline constexpr std::uint32_t MaxImageSize = 8388608;

// Where a byte came from; the hex view colours bytes by it.
enum ByteState : std::uint8_t {
  StateFromFile = 0,
  StateSaved = 1,
  StateWritten = 2,
  StateVerified = 3,
  StateRead = 4,
  StatePending = 5,  // not yet transferred, or differing from the chip
  StateChanged = 6,  // edited in the image
  StateUnassigned = 7,
};

// What a buffer tells the current project.
class ModificationListener {
 public:
  virtual ~ModificationListener() = default;
  virtual void SetModified() = 0;
  // Clears the project's flag when neither buffer is modified any more.
  virtual void ClearModifiedIfClean() = 0;
};

class MemoryBuffer {
 public:
  MemoryBuffer() = default;
  MemoryBuffer(const MemoryBuffer&) = delete;
  MemoryBuffer& operator=(const MemoryBuffer&) = delete;

  // Binds the buffer to its surroundings; either pointer may be null (a command-line job has
  // no view).
  void Init(OperatorInterface& op, const MessageCatalog& catalog, bool isEeprom, ModificationListener* project,
            ViewInterface* view);
  // Forgets the view and frees the states; nothing is reported afterwards.
  void Detach();

  // Reports bytes or states that changed in [offset, offset + length), or with no range the
  // whole image (its size, file name or modified mark changed too).
  void Changed(std::uint32_t offset, std::uint32_t length) const;
  void Changed() const { Changed(0, size()); }
  void MarkModified();
  bool Clear();
  bool Allocate(std::uint32_t n);
  std::uint16_t Checksum() const;

  // The file dialogs' settings for this buffer.
  FileRequest OpenRequest() const;
  FileRequest SaveRequest() const;

  bool isEeprom() const { return isEeprom_; }
  bool modified() const { return modified_; }
  void SetModifiedFlag(bool m) { modified_ = m; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(data_.size()); }
  bool empty() const { return data_.empty(); }
  const std::string& fileName() const { return fileName_; }
  void SetFileName(std::string name) { fileName_ = std::move(name); }
  // A real file name: neither "" nor "[Unspecified]".
  bool HasFileName() const { return !fileName_.empty() && fileName_ != Unspecified; }

  // A file that is not valid Intel HEX is loaded as its raw bytes after a box (the window), or
  // refused (the command line, which must never program what is not the image).
  bool rawFallback() const { return rawFallback_; }
  void SetRawFallback(bool on) { rawFallback_ = on; }
  // The file the last load took as raw bytes, for the status line that follows it; "" if none.
  const std::string& takenAsRaw() const { return takenAsRaw_; }
  void SetTakenAsRaw(std::string path) { takenAsRaw_ = std::move(path); }

  // The image and its states; `states` is empty after Detach.
  std::vector<std::uint8_t>& data() { return data_; }
  const std::vector<std::uint8_t>& data() const { return data_; }
  std::vector<std::uint8_t>& states() { return states_; }
  const std::vector<std::uint8_t>& states() const { return states_; }

  // Set while a chip operation's worker owns the bytes; the view then paints neutrally. Each
  // change of it reports the whole image.
  std::atomic<bool> busy{false};
  void SetBusy(bool on) {
    busy = on;
    Changed();
  }

  OperatorInterface* Operator() const { return op_; }
  const MessageCatalog* Catalog() const { return catalog_; }
  ModificationListener* Project() const { return project_; }
  ImageKind Kind() const { return isEeprom_ ? ImageKind::Eeprom : ImageKind::Flash; }

 private:
  OperatorInterface* op_ = nullptr;
  const MessageCatalog* catalog_ = nullptr;
  ModificationListener* project_ = nullptr;
  ViewInterface* view_ = nullptr;
  bool isEeprom_ = false;
  bool modified_ = false;
  bool rawFallback_ = true;
  std::string fileName_;
  std::string takenAsRaw_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> states_;
};

// The file-name label above an image's view: its file, starred while it holds changes.
std::string ImageLabelText(const MemoryBuffer& buffer);

}  // namespace zr7
