#include "project/Project.h"

#include <filesystem>
#include <iterator>
#include <optional>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/BufferCommands.h"
#include "devices/DeviceTable.h"
#include "link/Commands.h"
#include "project/Profile.h"

namespace zr7 {

namespace {

constexpr const char* kFiles = "Files";
constexpr const char* kSettings = "Settings";
constexpr const char* kAuto = "AutoProgram";
constexpr const char* kDevice = "Device";
constexpr const char* kDelays = "Delays";

constexpr std::size_t MaxLockModeText = 128;

std::string FuseKey(int i) { return "Fuse" + std::to_string(i); }
std::string BootLockKey(int i) { return "BootLock" + std::to_string(i); }

// The first value of a file that lies outside its table.
struct RangeError {
  std::string key;
  std::string value;
  int low = 0;
  int high = 0;
};

// A refused value as the message shows it: enough to recognise, never a screenful.
std::string Shown(const std::string& value) {
  constexpr std::size_t limit = 40;
  return value.size() <= limit ? value : value.substr(0, limit) + "...";
}

// Reads a number that indexes a table; false (with the offending text) when it lies outside.
bool ReadIndex(const IniDocument& doc, const char* section, const char* key, std::int32_t fallback, int high,
               std::int32_t& out, std::optional<RangeError>& error) {
  std::optional<std::string> text = doc.Value(section, key);
  std::int32_t value = (!text || text->empty()) ? fallback : LeadingNumber(*text);
  if (value < 0 || value > high) {
    if (!error) error = RangeError{key, Shown(text.value_or("")), 0, high};
    return false;
  }
  out = value;
  return true;
}

// A value that is a wait: beyond its bound a job would stand still for days (2000000000 ms
// of reset pulse is 23 days), so such a file is refused like an index out of its table.
void CheckWait(const IniDocument& doc, const char* section, const char* key, std::int32_t value, int high,
               std::optional<RangeError>& error) {
  if ((value < 0 || value > high) && !error) error = RangeError{key, Shown(doc.Text(section, key, "")), 0, high};
}

// Every key of the file with the default for a missing one; a key missing from a file reads
// differently from a new project (400 ms reset, delays 0).
ProjectSettings ReadSettings(const IniDocument& doc, std::optional<RangeError>& error) {
  ProjectSettings s;
  s.flashInvert = doc.Flag(kFiles, "FlashInvert", false);
  s.polling = doc.Flag(kSettings, "Polling", false);
  s.resetStrobeLength = doc.Number(kSettings, "ResetStrobeLength", 400);
  CheckWait(doc, kSettings, "ResetStrobeLength", s.resetStrobeLength, MaxResetStrobeMs, error);
  s.checkSign = doc.Flag(kSettings, "CheckSign", false);
  ReadIndex(doc, kSettings, "SPIPeriod", 4, static_cast<int>(std::size(SckPeriods)) - 1, s.spiPeriod, error);
  s.noSynchronization = doc.Flag(kSettings, "NoSynchronization", false);
  s.autoErase = doc.Flag(kAuto, "AutoErase", false);
  s.autoEmptyCheck = doc.Flag(kAuto, "AutoEmptyCheck", false);
  s.autoFlashReload = doc.Flag(kAuto, "AutoFlashReload", false);
  s.autoFlashProgram = doc.Flag(kAuto, "AutoFlashProgram", false);
  s.autoFlashVerify = doc.Flag(kAuto, "AutoFlashVerify", false);
  s.autoEepromReload = doc.Flag(kAuto, "AutoEepromReload", false);
  s.autoEepromProgram = doc.Flag(kAuto, "AutoEepromProgram", false);
  s.autoEepromVerify = doc.Flag(kAuto, "AutoEepromVerify", false);
  s.autoIncrement = doc.Flag(kAuto, "AutoIncrement", false);
  s.autoIncAddress = doc.Number(kAuto, "AutoIncAddress", 0);
  s.autoIncrementFlash = doc.Flag(kAuto, "AutoIncrementFlash", false);
  s.autoIncAddressFlash = doc.Number(kAuto, "AutoIncAddressFlash", 0);
  s.delayByte = doc.Flag(kDelays, "DelayByte", false);
  s.delayPage = doc.Flag(kDelays, "DelayPage", false);
  s.delayByteValue = doc.Number(kDelays, "DelayByteValue", 0);
  s.delayPageValue = doc.Number(kDelays, "DelayPageValue", 0);
  CheckWait(doc, kDelays, "DelayPageValue", s.delayPageValue, MaxPageDelayMs, error);
  s.delayByte2 = doc.Flag(kDelays, "DelayByte2", false);
  s.delayPage2 = doc.Flag(kDelays, "DelayPage2", false);
  s.delayByteValue2 = doc.Number(kDelays, "DelayByteValue2", 0);
  s.delayPageValue2 = doc.Number(kDelays, "DelayPageValue2", 0);
  CheckWait(doc, kDelays, "DelayPageValue2", s.delayPageValue2, MaxPageDelayMs, error);
  s.programFuse = doc.Flag(kAuto, "ProgramFuse", false);

  // The lock mode is text scanned like "%d": "3x" is 3, "abc" is 0. It is ORed into a chip
  // instruction, so a mode outside 0..3 is refused like a bad index.
  std::string lockText = doc.Text(kAuto, "LockMode", "0").substr(0, MaxLockModeText);
  std::int32_t lockMode = LeadingNumber(lockText);
  if (lockMode < 0 || lockMode >= LockModeCount) {
    if (!error) error = RangeError{"LockMode", Shown(lockText), 0, LockModeCount - 1};
  } else {
    s.lockFuse.lockMode = lockMode;
  }
  for (int i = 0; i < FuseBitCount; ++i) s.lockFuse.fuse[i] = doc.Flag(kAuto, FuseKey(i), false);
  for (int i = 0; i < BootLockBitCount; ++i) s.lockFuse.bootLock[i] = doc.Flag(kAuto, BootLockKey(i), false);

  ReadIndex(doc, kDevice, "DeviceNo", ProjectSettings::DefaultDeviceNo(), DeviceCount - 1, s.deviceNo, error);
  ReadIndex(doc, kAuto, "LockFuseDevice", s.deviceNo, DeviceCount - 1, s.lockFuseDeviceNo, error);
  return s;
}

// Sets every key in the order of the file format, so that a new file has its sections in
// the order [Files], [Settings], [AutoProgram], [Device], [Delays]. False when an image name
// cannot be stored (a line break in it).
bool WriteSettings(IniDocument& doc, const ProjectSettings& s, const std::string& flashName,
                   const std::string& eepromName) {
  bool ok = doc.Set(kFiles, "Flash", flashName);
  ok = doc.Set(kFiles, "Eeprom", eepromName) && ok;
  doc.SetFlag(kFiles, "FlashInvert", s.flashInvert);
  doc.SetFlag(kSettings, "Polling", s.polling);
  doc.SetFlag(kSettings, "CheckSign", s.checkSign);
  doc.SetFlag(kSettings, "NoSynchronization", s.noSynchronization);
  doc.SetFlag(kAuto, "AutoErase", s.autoErase);
  doc.SetFlag(kAuto, "AutoEmptyCheck", s.autoEmptyCheck);
  doc.SetFlag(kAuto, "AutoFlashReload", s.autoFlashReload);
  doc.SetFlag(kAuto, "AutoFlashProgram", s.autoFlashProgram);
  doc.SetFlag(kAuto, "AutoFlashVerify", s.autoFlashVerify);
  doc.SetFlag(kAuto, "AutoEepromReload", s.autoEepromReload);
  doc.SetFlag(kAuto, "AutoEepromProgram", s.autoEepromProgram);
  doc.SetFlag(kAuto, "AutoEepromVerify", s.autoEepromVerify);
  doc.SetFlag(kAuto, "AutoIncrementFlash", s.autoIncrementFlash);
  doc.SetFlag(kAuto, "AutoIncrement", s.autoIncrement);
  doc.SetFlag(kAuto, "ProgramFuse", s.programFuse);
  doc.SetNumber(kAuto, "LockMode", s.lockFuse.lockMode);
  for (int i = 0; i < FuseBitCount; ++i) doc.SetFlag(kAuto, FuseKey(i), s.lockFuse.fuse[i]);
  for (int i = 0; i < BootLockBitCount; ++i) doc.SetFlag(kAuto, BootLockKey(i), s.lockFuse.bootLock[i]);
  doc.SetNumber(kAuto, "LockFuseDevice", s.lockFuseDeviceNo);
  doc.SetNumber(kSettings, "ResetStrobeLength", s.resetStrobeLength);
  doc.SetNumber(kSettings, "SPIPeriod", s.spiPeriod);
  doc.SetNumber(kAuto, "AutoIncAddressFlash", s.autoIncAddressFlash);
  doc.SetNumber(kAuto, "AutoIncAddress", s.autoIncAddress);
  doc.SetNumber(kDevice, "DeviceNo", s.deviceNo);
  doc.SetFlag(kDelays, "DelayByte", s.delayByte);
  doc.SetFlag(kDelays, "DelayPage", s.delayPage);
  doc.SetNumber(kDelays, "DelayByteValue", s.delayByteValue);
  doc.SetNumber(kDelays, "DelayPageValue", s.delayPageValue);
  doc.SetFlag(kDelays, "DelayByte2", s.delayByte2);
  doc.SetFlag(kDelays, "DelayPage2", s.delayPage2);
  doc.SetNumber(kDelays, "DelayByteValue2", s.delayByteValue2);
  doc.SetNumber(kDelays, "DelayPageValue2", s.delayPageValue2);
  return ok;
}

// A relative image name is taken beside the project file first, so a project folder can be
// moved or installed and still open from anywhere; a name found only from the current folder
// still opens as it always did.
std::string ResolveImageName(const std::string& projectFile, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path image(name);
  if (!image.is_relative()) return name;
  std::error_code ec;
  const fs::path beside = fs::path(projectFile).parent_path() / image;
  if (!fs::is_regular_file(beside, ec)) return name;
  const fs::path full = fs::absolute(beside, ec);
  return ec ? beside.string() : full.lexically_normal().string();
}

// The name an image is stored under. The name the file already holds stays while it still
// names the image's file, so a relative name stays relative and the folder can still move.
std::string StoredImageName(const MemoryBuffer* buffer, const IniDocument& doc, const char* key,
                            const std::string& projectFile) {
  if (!buffer || !buffer->HasFileName()) return std::string(Unspecified);
  const std::string& name = buffer->fileName();
  const std::string held = doc.Text(kFiles, key, "");
  if (!held.empty() && held != Unspecified && ResolveImageName(projectFile, held) == name) return held;
  return name;
}

// Whether the image is in a file once the project is written. An image that is what its file
// holds is not written again; one whose content came from elsewhere (a chip, an edit, a merge)
// goes over its file only when the operator agrees, No being the default.
bool SaveImageWithProject(MemoryBuffer& buffer, OperatorInterface& op, const MessageCatalog& catalog) {
  if (buffer.empty()) return true;
  if (!buffer.HasFileName()) return SaveAs(buffer);
  if (!buffer.modified()) return true;
  const int question = buffer.isEeprom() ? msg::EepromImageOverOtherContent : msg::FlashImageOverOtherContent;
  const BoxAnswer answer =
      op.ShowBox({catalog.GetText(msg::ProductTitle), FormatText(catalog.GetText(question), buffer.fileName().c_str()),
                  BoxIcon::Question, BoxButtons::YesNo, BoxAnswer::No});
  return answer == BoxAnswer::Yes && Save(buffer);
}

// An empty name in a file means no image, like "[Unspecified]".
void LoadImage(MemoryBuffer& buffer, const std::string& projectFile, const std::string& name) {
  buffer.Clear();
  if (!name.empty() && name != Unspecified) LoadFile(buffer, ResolveImageName(projectFile, name));
}

}  // namespace

std::int32_t ProjectSettings::DefaultDeviceNo() { return FindDeviceByName("ATmega8"); }

Project::Project(OperatorInterface& op, const MessageCatalog& catalog) : op_(&op), catalog_(&catalog) {}

void Project::Attach(ProjectWindow* owner, MemoryBuffer& flash, MemoryBuffer& eeprom) {
  owner_ = owner;
  flash_ = &flash;
  eeprom_ = &eeprom;
}

void Project::Refresh() {
  if (owner_) owner_->RefreshControls();
}

void Project::ShowError(const std::string& text) {
  op_->ShowBox({catalog_->GetText(msg::ProductTitle), text, BoxIcon::Error, BoxButtons::Ok});
}

void Project::SetModified() {
  if (modified_) return;
  modified_ = true;
  Refresh();
}

void Project::ClearModifiedIfClean() {
  if ((flash_ && flash_->modified()) || (eeprom_ && eeprom_->modified())) return;
  modified_ = false;
  Refresh();
}

void Project::Reset() {
  path_ = std::string(Unspecified);
  ProjectSettings& s = settings_;
  s.flashInvert = s.polling = false;
  s.autoErase = s.autoEmptyCheck = s.autoFlashReload = s.autoFlashProgram = s.autoFlashVerify = false;
  s.autoEepromReload = s.autoEepromProgram = s.autoEepromVerify = false;
  s.autoIncrementFlash = s.autoIncrement = s.programFuse = false;
  s.lockFuse = LockFuseState{};
  s.lockFuseDeviceNo = s.deviceNo;
  s.spiPeriod = 4;
  s.autoIncAddressFlash = s.autoIncAddress = 0;
  if (owner_) {
    owner_->SetFlashInvert(false);
    owner_->SetIncrementCheck(false);  // the check box mirrors autoIncrement, cleared above
  }
  Refresh();
}

bool Project::Load(const std::string& file) {
  if (file == Unspecified) {
    Reset();
    return true;
  }
  IniDocument doc;
  IniDocument::ReadFailure failure = IniDocument::ReadFailure::CannotOpen;
  const IniDocument::ReadResult read = doc.ReadFile(file, &failure);
  if (read != IniDocument::ReadResult::Read || !doc.Has(kFiles, "Flash")) {
    // Why, in words the operator can act on: the file itself, or what it holds.
    int reason = msg::ProjectFileNotAProject;
    if (read == IniDocument::ReadResult::Missing) reason = msg::ProjectFileMissing;
    if (read == IniDocument::ReadResult::Failed) {
      switch (failure) {
        case IniDocument::ReadFailure::NotRegular: reason = msg::ProjectFileNotRegular; break;
        case IniDocument::ReadFailure::TooLarge: reason = msg::ProjectFileTooLarge; break;
        case IniDocument::ReadFailure::CannotOpen:
        case IniDocument::ReadFailure::ReadError: reason = msg::ProjectFileUnreadable; break;
      }
    }
    ShowError(FormatText(catalog_->GetText(msg::ErrorReadingProjectFileBecause), file.c_str(),
                         catalog_->GetText(reason)));
    return false;
  }
  std::optional<RangeError> error;
  ProjectSettings loaded = ReadSettings(doc, error);
  if (error) {
    ShowError(FormatText(catalog_->GetText(msg::ProjectValueOutOfRange), file.c_str(), error->key.c_str(),
                         error->value.c_str(), error->low, error->high));
    return false;
  }

  // Everything is read and checked: only now does the current project change.
  Reset();
  settings_ = loaded;
  if (owner_) {
    owner_->SetFlashInvert(settings_.flashInvert);
    owner_->SetIncrementCheck(settings_.autoIncrement);
  }
  if (flash_) LoadImage(*flash_, file, doc.Text(kFiles, "Flash", Unspecified));
  if (eeprom_) LoadImage(*eeprom_, file, doc.Text(kFiles, "Eeprom", Unspecified));
  path_ = file;
  modified_ = false;
  Refresh();
  return true;
}

bool Project::Write(const std::string& file) {
  // An image left unsaved keeps the project modified, whatever becomes of the file.
  bool imagesSaved = true;
  if (flash_) imagesSaved = SaveImageWithProject(*flash_, *op_, *catalog_) && imagesSaved;
  if (eeprom_) imagesSaved = SaveImageWithProject(*eeprom_, *op_, *catalog_) && imagesSaved;

  // An existing file is rewritten with its other keys and comments; one that cannot be read
  // is not replaced, since what it holds would be lost.
  IniDocument doc;
  std::string cause;
  int error = 0;
  if (doc.ReadFile(file) == IniDocument::ReadResult::Failed)
    cause = UnreadableFileCause(*catalog_, file);
  else if (!WriteSettings(doc, settings_, StoredImageName(flash_, doc, "Flash", file),
                          StoredImageName(eeprom_, doc, "Eeprom", file)))
    cause = catalog_->GetText(msg::SaveValueHasLineBreak);
  else if (!doc.WriteFile(file, &error))
    cause = FileErrorText(*catalog_, error);
  if (!cause.empty()) {
    ShowError(FormatText(catalog_->GetText(msg::CannotSaveProjectBecause), file.c_str(), cause.c_str()));
    return false;
  }
  modified_ = !imagesSaved;
  return true;
}

bool Project::Save() { return HasPath() ? Write(path_) : SaveAs(); }

bool Project::SaveAs() {
  std::optional<std::string> chosen = op_->ChooseFileToSave(SaveRequest());
  if (!chosen || !Write(*chosen)) return false;
  path_ = *chosen;
  return true;
}

bool Project::OpenWithDialog() {
  std::optional<std::string> chosen = op_->ChooseFileToOpen(OpenRequest());
  return chosen && Load(*chosen);
}

bool Project::Reload() { return !path_.empty() && Load(path_); }

FileRequest Project::OpenRequest() const { return {"", ProjectFileFilter, "Untitled", ProjectFileExtension}; }

FileRequest Project::SaveRequest() const { return {"", ProjectFileFilter, "Untitled", ProjectFileExtension}; }

ConnectOptions ConnectOptionsOf(const Project& project) {
  const ProjectSettings& s = project.settings();
  ConnectOptions options;
  options.deviceNumber = s.deviceNo;
  options.spiPeriod = s.spiPeriod;
  options.polling = s.polling;
  options.resetStrobeLengthMs = s.resetStrobeLength;
  options.noSynchronization = s.noSynchronization;
  return options;
}

TransferOptions TransferOptionsOf(const Project& project) {
  const ProjectSettings& s = project.settings();
  TransferOptions t;
  t.checkSign = s.checkSign;
  t.autoIncrementFlash = s.autoIncrementFlash;
  t.autoIncAddressFlash = s.autoIncAddressFlash;
  t.autoIncrementEeprom = s.autoIncrement;
  t.autoIncAddressEeprom = s.autoIncAddress;
  t.delayByte = s.delayByte;
  t.delayByteValue = s.delayByteValue;
  t.delayPage = s.delayPage;
  t.delayPageValue = s.delayPageValue;
  t.delayByte2 = s.delayByte2;
  t.delayByteValue2 = s.delayByteValue2;
  t.delayPage2 = s.delayPage2;
  t.delayPageValue2 = s.delayPageValue2;
  return t;
}

ChipJob ChipJobOf(const Project& project, int boardPort, bool highSpeed, const BoardDelays& delays) {
  ChipJob job;
  job.connect = ConnectOptionsOf(project);
  job.transfer = TransferOptionsOf(project);
  job.boardPort = boardPort;
  job.highSpeed = highSpeed;
  job.delays = delays;
  return job;
}

}  // namespace zr7
