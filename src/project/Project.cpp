#include "project/Project.h"

#include <filesystem>
#include <iterator>
#include <optional>
#include <utility>

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

// One key of the project file: where it lives, the setting it holds, the value a file without
// it means, and for a number that indexes a table or is a wait, the largest value accepted
// (beyond a wait's bound a job would stand still for days: 2000000000 ms of reset pulse is
// 23 days). The rows are in the order a new file is written; `checkRank` is the order in
// which refused values are looked for, so a file with several reports the same one as ever.
struct Key {
  const char* section;
  const char* name;
  bool ProjectSettings::*flag = nullptr;
  std::int32_t ProjectSettings::*number = nullptr;
  std::int32_t missing = 0;  // a key missing from a file reads differently from a new project
  int high = -1;             // -1: any number
  int checkRank = 0;
};

constexpr Key Flag(const char* section, const char* name, bool ProjectSettings::*flag) {
  return {section, name, flag};
}
constexpr Key Number(const char* section, const char* name, std::int32_t ProjectSettings::*number,
                     std::int32_t missing, int high = -1, int checkRank = 0) {
  return {section, name, nullptr, number, missing, high, checkRank};
}

using S = ProjectSettings;

// The keys before [AutoProgram]'s lock and fuse bits, and those after them.
const Key kLeadingKeys[] = {
    Flag(kFiles, "FlashInvert", &S::flashInvert),
    Flag(kSettings, "Polling", &S::polling),
    Flag(kSettings, "CheckSign", &S::checkSign),
    Flag(kSettings, "NoSynchronization", &S::noSynchronization),
    Flag(kAuto, "AutoErase", &S::autoErase),
    Flag(kAuto, "AutoEmptyCheck", &S::autoEmptyCheck),
    Flag(kAuto, "AutoFlashReload", &S::autoFlashReload),
    Flag(kAuto, "AutoFlashProgram", &S::autoFlashProgram),
    Flag(kAuto, "AutoFlashVerify", &S::autoFlashVerify),
    Flag(kAuto, "AutoEepromReload", &S::autoEepromReload),
    Flag(kAuto, "AutoEepromProgram", &S::autoEepromProgram),
    Flag(kAuto, "AutoEepromVerify", &S::autoEepromVerify),
    Flag(kAuto, "AutoIncrementFlash", &S::autoIncrementFlash),
    Flag(kAuto, "AutoIncrement", &S::autoIncrement),
    Flag(kAuto, "ProgramFuse", &S::programFuse),
};
const Key kTrailingKeys[] = {
    Number(kSettings, "ResetStrobeLength", &S::resetStrobeLength, 400, MaxResetStrobeMs, 1),
    Number(kSettings, "SPIPeriod", &S::spiPeriod, 4, static_cast<int>(std::size(SckPeriods)) - 1, 2),
    Number(kAuto, "AutoIncAddressFlash", &S::autoIncAddressFlash, 0),
    Number(kAuto, "AutoIncAddress", &S::autoIncAddress, 0),
    Number(kDevice, "DeviceNo", &S::deviceNo, 0, DeviceCount - 1, 6),  // missing: DefaultDeviceNo()
    Flag(kDelays, "DelayByte", &S::delayByte),
    Flag(kDelays, "DelayPage", &S::delayPage),
    Number(kDelays, "DelayByteValue", &S::delayByteValue, 0),
    Number(kDelays, "DelayPageValue", &S::delayPageValue, 0, MaxPageDelayMs, 3),
    Flag(kDelays, "DelayByte2", &S::delayByte2),
    Flag(kDelays, "DelayPage2", &S::delayPage2),
    Number(kDelays, "DelayByteValue2", &S::delayByteValue2, 0),
    Number(kDelays, "DelayPageValue2", &S::delayPageValue2, 0, MaxPageDelayMs, 4),
};
constexpr int kLockModeRank = 5;
constexpr int kLockFuseDeviceRank = 7;

// A value refused, ranked: the lowest rank is the one the message names.
void Refuse(std::optional<std::pair<int, RangeError>>& worst, int rank, RangeError error) {
  if (!worst || rank < worst->first) worst = std::make_pair(rank, std::move(error));
}

void ReadKey(const IniDocument& doc, const Key& key, std::int32_t missing, ProjectSettings& s,
             std::optional<std::pair<int, RangeError>>& worst) {
  if (key.flag) {
    s.*key.flag = doc.Flag(key.section, key.name, false);
    return;
  }
  const std::int32_t value = doc.Number(key.section, key.name, missing);
  if (key.high >= 0 && (value < 0 || value > key.high)) {
    Refuse(worst, key.checkRank, {key.name, Shown(doc.Text(key.section, key.name, "")), 0, key.high});
    return;
  }
  s.*key.number = value;
}

// Every key of the file with the default for a missing one.
ProjectSettings ReadSettings(const IniDocument& doc, std::optional<RangeError>& error) {
  ProjectSettings s;
  std::optional<std::pair<int, RangeError>> worst;
  for (const Key& key : kLeadingKeys) ReadKey(doc, key, key.missing, s, worst);
  for (const Key& key : kTrailingKeys)
    ReadKey(doc, key, key.number == &S::deviceNo ? ProjectSettings::DefaultDeviceNo() : key.missing, s, worst);

  // The lock mode is text scanned like "%d": "3x" is 3, "abc" is 0. It is ORed into a chip
  // instruction, so a mode outside 0..3 is refused like a bad index.
  std::string lockText = doc.Text(kAuto, "LockMode", "0").substr(0, MaxLockModeText);
  std::int32_t lockMode = LeadingNumber(lockText);
  if (lockMode < 0 || lockMode >= LockModeCount)
    Refuse(worst, kLockModeRank, {"LockMode", Shown(lockText), 0, LockModeCount - 1});
  else
    s.lockFuse.lockMode = lockMode;
  for (int i = 0; i < FuseBitCount; ++i) s.lockFuse.fuse[i] = doc.Flag(kAuto, FuseKey(i), false);
  for (int i = 0; i < BootLockBitCount; ++i) s.lockFuse.bootLock[i] = doc.Flag(kAuto, BootLockKey(i), false);
  // A file without it means its own DeviceNo.
  ReadKey(doc, Number(kAuto, "LockFuseDevice", &S::lockFuseDeviceNo, 0, DeviceCount - 1, kLockFuseDeviceRank),
          s.deviceNo, s, worst);
  if (worst) error = worst->second;
  return s;
}

void WriteKey(IniDocument& doc, const Key& key, const ProjectSettings& s) {
  if (key.flag)
    doc.SetFlag(key.section, key.name, s.*key.flag);
  else
    doc.SetNumber(key.section, key.name, s.*key.number);
}

// Sets every key in the order of the file format, so that a new file has its sections in
// the order [Files], [Settings], [AutoProgram], [Device], [Delays]. False when an image name
// cannot be stored (a line break in it).
bool WriteSettings(IniDocument& doc, const ProjectSettings& s, const std::string& flashName,
                   const std::string& eepromName) {
  bool ok = doc.Set(kFiles, "Flash", flashName);
  ok = doc.Set(kFiles, "Eeprom", eepromName) && ok;
  for (const Key& key : kLeadingKeys) WriteKey(doc, key, s);
  doc.SetNumber(kAuto, "LockMode", s.lockFuse.lockMode);
  for (int i = 0; i < FuseBitCount; ++i) doc.SetFlag(kAuto, FuseKey(i), s.lockFuse.fuse[i]);
  for (int i = 0; i < BootLockBitCount; ++i) doc.SetFlag(kAuto, BootLockKey(i), s.lockFuse.bootLock[i]);
  doc.SetNumber(kAuto, "LockFuseDevice", s.lockFuseDeviceNo);
  for (const Key& key : kTrailingKeys) WriteKey(doc, key, s);
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

void Project::Attach(ViewInterface* view, MemoryBuffer& flash, MemoryBuffer& eeprom) {
  view_ = view;
  flash_ = &flash;
  eeprom_ = &eeprom;
}

void Project::Refresh() {
  if (view_) view_->ProjectChanged();
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
  Refresh();
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
