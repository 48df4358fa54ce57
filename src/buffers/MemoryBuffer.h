#pragma once
// One memory image of the target chip (Flash or Eeprom): the bytes, a state per byte telling
// where it came from, the file it belongs to, and the links to what shows it.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "operator/OperatorInterface.h"

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

// The file-name label above the buffer's hex view.
class BufferLabel {
 public:
  virtual ~BufferLabel() = default;
  virtual void SetText(std::string_view text) = 0;
};

// The hex view showing the buffer: recompute its scroll range and repaint.
class BufferView {
 public:
  virtual ~BufferView() = default;
  virtual void Refresh() = 0;
};

// What a buffer tells the current project.
class ModificationListener {
 public:
  virtual ~ModificationListener() = default;
  virtual void SetModified() = 0;
  // Clears the project's flag when neither buffer is modified any more.
  virtual void ClearModifiedIfClean() = 0;
};

// The window that owns the buffers: recomputes title and enabled commands.
class ControlsOwner {
 public:
  virtual ~ControlsOwner() = default;
  virtual void RefreshControls() = 0;
};

class MemoryBuffer {
 public:
  MemoryBuffer() = default;
  MemoryBuffer(const MemoryBuffer&) = delete;
  MemoryBuffer& operator=(const MemoryBuffer&) = delete;

  // Binds the buffer to its surroundings; any pointer may be null (a command-line job has no
  // label, view or window). Writes the label.
  void Init(OperatorInterface& op, const MessageCatalog& catalog, bool isEeprom, BufferLabel* label,
            ModificationListener* project, ControlsOwner* owner);
  void AttachView(BufferView* view) { view_ = view; }
  // Forgets view and label and frees the states; no repaint reaches the buffer afterwards.
  void Detach();

  void RefreshView();
  void UpdateLabel();
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

  // Set while a chip operation's worker owns the bytes; the view then paints neutrally.
  std::atomic<bool> busy{false};

  OperatorInterface* Operator() const { return op_; }
  const MessageCatalog* Catalog() const { return catalog_; }
  ModificationListener* Project() const { return project_; }
  ControlsOwner* Owner() const { return owner_; }

 private:
  OperatorInterface* op_ = nullptr;
  const MessageCatalog* catalog_ = nullptr;
  BufferLabel* label_ = nullptr;
  BufferView* view_ = nullptr;
  ModificationListener* project_ = nullptr;
  ControlsOwner* owner_ = nullptr;
  bool isEeprom_ = false;
  bool modified_ = false;
  bool rawFallback_ = true;
  std::string fileName_;
  std::string takenAsRaw_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> states_;
};

}  // namespace zr7
