#include "present/ProjectSettingsRules.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "text/MessageCatalog.h"
#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseRules.h"
#include "project/Project.h"

#include "util/TextChars.h"

namespace zr7 {

namespace {

constexpr std::array<int, ResetStrobePositions> kResetStrobeMs = {20, 50, 100, 150, 300, 500, 1000};

// Allowed Flash delays in milliseconds: the board's byte-delay code and page wait cannot go
// beyond these.
constexpr int kFlashByteDelayMin = 0;
constexpr int kFlashByteDelayMax = 18;
constexpr int kFlashPageDelayMin = 3;
constexpr int kFlashPageDelayMax = 50;


std::string Decimal(std::int32_t value) { return std::to_string(value); }

std::string Hex(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

MessageBoxRequest Box(const MessageCatalog& catalog, std::string text) {
  return {catalog.GetText(msg::ProgrammerCaption), std::move(text), BoxIcon::Warning, BoxButtons::Ok};
}

// An integer edit: first whether it is one, then whether it lies in its range (if it has one).
std::optional<SettingsRefusal> CheckInteger(const MessageCatalog& catalog, int control, const std::string& text,
                                            std::optional<std::pair<int, int>> range) {
  const std::optional<std::int32_t> value = ParseSettingsInteger(text);
  if (range && (!value || *value < range->first || *value > range->second))
    return SettingsRefusal{control,
                           Box(catalog, FormatText(catalog.GetText(msg::SettingsIntegerRange), range->first, range->second))};
  if (!value) return SettingsRefusal{control, Box(catalog, catalog.GetText(msg::SettingsIntegerNeeded))};
  return std::nullopt;
}

std::optional<SettingsRefusal> CheckLength(const MessageCatalog& catalog, int control, const std::string& text) {
  if (text.size() <= static_cast<std::size_t>(AutoIncAddressMaxChars)) return std::nullopt;
  return SettingsRefusal{control, Box(catalog, FormatText(catalog.GetText(msg::SettingsTextTooLong),
                                                          AutoIncAddressMaxChars))};
}

}  // namespace

int ResetStrobeMs(int position) {
  return kResetStrobeMs[static_cast<std::size_t>(std::clamp(position, 0, ResetStrobePositions - 1))];
}

int ResetStrobePosition(int ms) {
  for (int i = 0; i < ResetStrobePositions; ++i)
    if (kResetStrobeMs[static_cast<std::size_t>(i)] >= ms) return i;
  return ResetStrobePositions - 1;
}

std::string ResetStrobeText(int position) { return FormatText("%d ms", ResetStrobeMs(position)); }

ProjectSettingsForm OpenProjectSettings(ProjectSettings& project) {
  project.resetStrobeLength = ResetStrobeMs(ResetStrobePosition(project.resetStrobeLength));

  ProjectSettingsForm f;
  f.device = project.deviceNo;
  f.sckPosition = project.spiPeriod;
  f.resetPosition = ResetStrobePosition(project.resetStrobeLength);
  f.polling = project.polling;
  f.checkSign = project.checkSign;
  f.noSynchronization = project.noSynchronization;
  f.autoErase = project.autoErase;
  f.autoEmptyCheck = project.autoEmptyCheck;
  f.autoFlashReload = project.autoFlashReload;
  f.autoFlashProgram = project.autoFlashProgram;
  f.autoFlashVerify = project.autoFlashVerify;
  f.autoEepromReload = project.autoEepromReload;
  f.autoEepromProgram = project.autoEepromProgram;
  f.autoEepromVerify = project.autoEepromVerify;
  f.programFuse = project.programFuse;
  f.lockFuse = project.lockFuse;
  f.lockFuseDevice = project.lockFuseDeviceNo;
  f.autoIncrementFlash = project.autoIncrementFlash;
  f.flashAddress = Hex(project.autoIncAddressFlash);
  f.autoIncrement = project.autoIncrement;
  f.eepromAddress = Hex(project.autoIncAddress);
  f.delayByte = project.delayByte;
  f.delayByteValue = Decimal(project.delayByteValue);
  f.delayPage = project.delayPage;
  f.delayPageValue = Decimal(project.delayPageValue);
  f.delayByte2 = project.delayByte2;
  f.delayByteValue2 = Decimal(project.delayByteValue2);
  f.delayPage2 = project.delayPage2;
  f.delayPageValue2 = Decimal(project.delayPageValue2);
  return f;
}

std::array<ControlEnabling, 7> ProjectSettingsEnabling(const ProjectSettingsForm& form) {
  namespace c = settings_control;
  return {{{c::DelayByteValue, form.delayByte},
           {c::DelayPageValue, form.delayPage},
           {c::DelayByteValue2, form.delayByte2},
           {c::DelayPageValue2, form.delayPage2},
           {c::Configure, form.programFuse},
           {c::FlashAddress, form.autoIncrementFlash},
           {c::EepromAddress, form.autoIncrement}}};
}

std::optional<std::int32_t> ParseSettingsInteger(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (begin < end && (text[begin] == '+' || text[begin] == '-')) negative = text[begin++] == '-';
  if (begin == end) return std::nullopt;
  std::int64_t value = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ParseAutoIncAddress(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexDigit(text[i + 2]) >= 0)
    i += 2;
  if (i >= text.size() || HexDigit(text[i]) < 0) return std::nullopt;
  // Wraps like the 32-bit number it is stored in; the edit's 8 characters keep it in range.
  std::uint32_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) value = value * 16 + static_cast<std::uint32_t>(HexDigit(text[i]));
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::optional<SettingsRefusal> CheckProjectSettings(const ProjectSettingsForm& form, const MessageCatalog& catalog) {
  namespace c = settings_control;
  if (auto r = CheckInteger(catalog, c::DelayByteValue, form.delayByteValue,
                            std::pair{kFlashByteDelayMin, kFlashByteDelayMax}))
    return r;
  if (auto r = CheckInteger(catalog, c::DelayPageValue, form.delayPageValue,
                            std::pair{kFlashPageDelayMin, kFlashPageDelayMax}))
    return r;
  if (auto r = CheckInteger(catalog, c::DelayByteValue2, form.delayByteValue2, std::nullopt)) return r;
  // The Eeprom page delay is a wait after every page: bounded as on loading a project.
  if (auto r = CheckInteger(catalog, c::DelayPageValue2, form.delayPageValue2, std::pair{0, MaxPageDelayMs})) return r;
  if (auto r = CheckLength(catalog, c::FlashAddress, form.flashAddress)) return r;
  if (auto r = CheckLength(catalog, c::EepromAddress, form.eepromAddress)) return r;
  return std::nullopt;
}

void StoreProjectSettings(const ProjectSettingsForm& form, ProjectSettings& project) {
  project.autoErase = form.autoErase;
  project.autoEmptyCheck = form.autoEmptyCheck;
  project.autoFlashReload = form.autoFlashReload;
  project.autoFlashProgram = form.autoFlashProgram;
  project.autoFlashVerify = form.autoFlashVerify;
  project.autoEepromReload = form.autoEepromReload;
  project.autoEepromProgram = form.autoEepromProgram;
  project.autoEepromVerify = form.autoEepromVerify;
  project.noSynchronization = form.noSynchronization;
  project.polling = form.polling;
  project.checkSign = form.checkSign;
  project.autoIncrementFlash = form.autoIncrementFlash;
  project.autoIncrement = form.autoIncrement;
  project.resetStrobeLength = ResetStrobeMs(form.resetPosition);
  project.delayByte = form.delayByte;
  project.delayPage = form.delayPage;
  project.delayByte2 = form.delayByte2;
  project.delayPage2 = form.delayPage2;
  // Checked before: an unreadable value here keeps what the project had.
  project.delayByteValue = ParseSettingsInteger(form.delayByteValue).value_or(project.delayByteValue);
  project.delayPageValue = ParseSettingsInteger(form.delayPageValue).value_or(project.delayPageValue);
  project.delayByteValue2 = ParseSettingsInteger(form.delayByteValue2).value_or(project.delayByteValue2);
  project.delayPageValue2 = ParseSettingsInteger(form.delayPageValue2).value_or(project.delayPageValue2);
  project.autoIncAddress = ParseAutoIncAddress(form.eepromAddress).value_or(project.autoIncAddress);
  project.autoIncAddressFlash = ParseAutoIncAddress(form.flashAddress).value_or(project.autoIncAddressFlash);
  project.programFuse = form.programFuse;
  // Bits that autoprogram will not program are not kept either.
  project.lockFuse = form.programFuse ? form.lockFuse : LockFuseState{};
  project.lockFuseDeviceNo = form.lockFuseDevice;
  if (form.sckPosition >= 0) project.spiPeriod = form.sckPosition;
}

std::string LockFuseMismatchNote(const ProjectSettingsForm& form, const MessageCatalog& catalog) {
  if (!form.programFuse || SameLockFuseLayout(form.lockFuseDevice, form.device)) return "";
  const DeviceRecord* madeFor = DeviceAt(form.lockFuseDevice);
  const DeviceRecord* chosen = DeviceAt(form.device);
  if (!madeFor || !chosen) return "";
  return FormatText(catalog.GetText(msg::LockFuseSettingsForOtherChip), std::string(madeFor->Name).c_str(),
                    std::string(chosen->Name).c_str());
}

ProjectSettingsOk AcceptProjectSettings(const ProjectSettingsForm& form, const MessageCatalog& catalog,
                                        ProjectSettings& project) {
  ProjectSettingsOk result;
  result.refusal = CheckProjectSettings(form, catalog);
  if (result.refusal) return result;
  StoreProjectSettings(form, project);
  return result;
}

}  // namespace zr7
