#pragma once
// The settings of one programming job, kept in a ".zr7" project file: device, image files,
// autoprogram recipe, lock and fuse bits, serial-number increment, link timing, write delays.

#include <cstdint>
#include <string>

#include "buffers/MemoryBuffer.h"
#include "link/BoardLink.h"
#include "lockfuse/LockFuseState.h"
#include "link/ChipJob.h"

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

// Bounds of the project's waits in milliseconds: a file beyond them is refused on load, since
// the job would otherwise stand still for as long.
inline constexpr int MaxResetStrobeMs = 10000;
inline constexpr int MaxPageDelayMs = 1000;

// Every value a project file holds, plain and copyable so that a file is read completely and
// checked before anything of the current project changes. The defaults are a new project's.
struct ProjectSettings {
  bool flashInvert = false;
  bool polling = false;
  std::int32_t resetStrobeLength = 20;  // ms; 5 and below use the board's short reset
  bool checkSign = false;
  bool noSynchronization = false;
  bool autoErase = false;
  bool autoEmptyCheck = false;
  bool autoFlashReload = false;
  bool autoFlashProgram = false;
  bool autoFlashVerify = false;
  bool autoEepromReload = false;
  bool autoEepromProgram = false;
  bool autoEepromVerify = false;
  bool autoIncrementFlash = false;
  bool autoIncrement = false;
  bool programFuse = false;
  LockFuseState lockFuse;  // its readable flag is not stored
  // The chip lockFuse was made for: its layout gives the bits their meaning, whichever chip is
  // selected later. A file without the key means its own DeviceNo.
  std::int32_t lockFuseDeviceNo = DefaultDeviceNo();
  std::int32_t autoIncAddressFlash = 0;
  std::int32_t autoIncAddress = 0;
  std::int32_t deviceNo = DefaultDeviceNo();  // 0..40
  std::int32_t spiPeriod = 4;                 // 0..7
  bool delayByte = false;
  bool delayPage = false;
  std::int32_t delayByteValue = 9;
  std::int32_t delayPageValue = 6;
  bool delayByte2 = false;
  bool delayPage2 = false;
  std::int32_t delayByteValue2 = 10;
  std::int32_t delayPageValue2 = 10;

  // "ATmega8", row 8 of the device table.
  static std::int32_t DefaultDeviceNo();
  bool operator==(const ProjectSettings&) const = default;
};

// Commands and dialogs of the project files.
inline constexpr const char* ProjectFileFilter = "ZR7 Projects|*.zr7|";
inline constexpr const char* ProjectFileExtension = "zr7";

class Project : public ModificationListener {
 public:
  Project(OperatorInterface& op, const MessageCatalog& catalog);
  Project(const Project&) = delete;
  Project& operator=(const Project&) = delete;

  // Binds the view (null on the command line) and the two images; once, before the buffers'
  // Init. Every change of file, settings or modified flag is reported to the view.
  void Attach(ViewInterface* view, MemoryBuffer& flash, MemoryBuffer& eeprom);

  ProjectSettings& settings() { return settings_; }
  const ProjectSettings& settings() const { return settings_; }
  // The project file, or "[Unspecified]" for a project never saved.
  const std::string& path() const { return path_; }
  bool HasPath() const { return !path_.empty() && path_ != Unspecified; }
  bool modified() const { return modified_; }
  void ClearModified() { modified_ = false; }

  void SetModified() override;
  void ClearModifiedIfClean() override;

  // Back to "[Unspecified]" with the job-specific settings cleared; the device, the link
  // timing, the delays and `modified` stay.
  void Reset();
  // Reads a project file and loads its two images. A file that lacks "Files" "Flash" (or
  // cannot be read) or holds a value outside its table is refused with a box, and the
  // current project stays exactly as it was. A missing image is reported by the buffer and
  // does not refuse the project.
  bool Load(const std::string& file);
  // Saves the images that need it (asking for a name where an image has none, and before
  // writing an image over a file it did not come from), then the project file, atomically,
  // keeping what an existing file holds besides our keys and the image names as it holds
  // them while they still name the images' files. A failure is reported and leaves the
  // project modified; so does an image left unsaved, though the file is written.
  bool Write(const std::string& file);
  // Write to `path`, or SaveAs for a project never saved.
  bool Save();
  // Asks for a file; on OK writes there and, only once that worked, takes it as `path`.
  bool SaveAs();
  bool OpenWithDialog();
  // Reads `path` again. Unlike a reset followed by a load, a file that has gone or turned bad
  // leaves the project as it was, so nothing is lost and the command can be retried.
  bool Reload();

  FileRequest OpenRequest() const;
  FileRequest SaveRequest() const;

  ViewInterface* View() const { return view_; }
  MemoryBuffer* FlashBuffer() const { return flash_; }
  MemoryBuffer* EepromBuffer() const { return eeprom_; }

 private:
  void Refresh();
  void ShowError(const std::string& text);

  OperatorInterface* op_;
  const MessageCatalog* catalog_;
  ViewInterface* view_ = nullptr;
  MemoryBuffer* flash_ = nullptr;
  MemoryBuffer* eeprom_ = nullptr;
  std::string path_{Unspecified};
  bool modified_ = false;
  ProjectSettings settings_;
};

// How the board is to be driven for this project.
ConnectOptions ConnectOptionsOf(const Project& project);
// The project's options of the chip transfers.
TransferOptions TransferOptionsOf(const Project& project);
// Everything a chip command needs from the project and the user's board settings.
ChipJob ChipJobOf(const Project& project, int boardPort, bool highSpeed, const BoardDelays& delays);

}  // namespace zr7
