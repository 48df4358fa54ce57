#include "project/Profile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/MemoryBuffer.h"
#include "util/AtomicFile.h"
#include "util/TextChars.h"

namespace zr7 {

std::string UnreadableFileCause(const MessageCatalog& catalog, const std::string& path) {
  if (const int problem = AtomicFile::ReplaceProblem(path)) return FileErrorText(catalog, problem);
  return catalog.GetText(msg::SaveKeepsUnreadableFile);
}

std::string DefaultProfilePath(const char* xdgConfigHome, const char* home) {
  // Relative values are invalid for these variables and are ignored.
  if (xdgConfigHome && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/zr7/zr7.ini";
  if (home && home[0] == '/') return std::string(home) + "/.config/zr7/zr7.ini";
  return {};
}

std::string DefaultProfilePath() { return DefaultProfilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")); }

Profile::Profile(std::string filePath, OperatorInterface& op, const MessageCatalog& catalog)
    : path_(std::move(filePath)), op_(&op), catalog_(&catalog) {}

IniDocument Profile::Read() const {
  IniDocument doc;
  if (!path_.empty()) doc.ReadFile(path_);  // unreadable: the defaults
  return doc;
}

std::int32_t Profile::GetNumber(std::string_view section, std::string_view key, std::int32_t fallback) const {
  return Read().Number(section, key, fallback);
}

std::string Profile::GetText(std::string_view section, std::string_view key, std::string_view fallback) const {
  return Read().Text(section, key, fallback);
}

bool Profile::SetNumber(std::string_view section, std::string_view key, std::int32_t value) {
  return Write(section, key, std::to_string(value));
}

bool Profile::SetText(std::string_view section, std::string_view key, std::string_view value) {
  return Write(section, key, value);
}

bool Profile::Write(std::string_view section, std::string_view key, std::string_view value) {
  if (path_.empty()) {
    ReportFailure(catalog_->GetText(msg::SettingsHaveNoFolder));
    return false;
  }
  IniDocument doc;
  // A profile that exists but cannot be read is not overwritten: its other values would be lost.
  if (doc.ReadFile(path_) == IniDocument::ReadResult::Failed) {
    ReportFailure(UnreadableFileCause(*catalog_, path_));
    return false;
  }
  if (!doc.Set(section, key, value)) {
    ReportFailure(catalog_->GetText(msg::SaveValueHasLineBreak));
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
  int error = 0;
  if (!doc.WriteFile(path_, &error)) {
    ReportFailure(FileErrorText(*catalog_, error));
    return false;
  }
  failureReported_ = false;
  return true;
}

void Profile::ReportFailure(const std::string& cause) {
  if (failureReported_) return;
  failureReported_ = true;
  op_->ShowBox({catalog_->GetText(msg::ProductTitle),
                FormatText(catalog_->GetText(msg::CannotSaveSettingsBecause), path_.c_str(), cause.c_str()),
                BoxIcon::Warning, BoxButtons::Ok});
}

int Profile::ComPort() const {
  int port = GetNumber("Connect", "COM", 0);
  return (port >= 1 && port <= PortCount) ? port : 0;
}
bool Profile::SetComPort(int port) { return SetNumber("Connect", "COM", port); }

bool Profile::HighSpeed() const { return GetNumber("Connect", "HighSpeed", 0) != 0; }
bool Profile::SetHighSpeed(bool on) { return SetNumber("Connect", "HighSpeed", on ? 1 : 0); }

bool Profile::Russian() const { return GetNumber("Language", "Russian", 0) != 0; }
bool Profile::SetRussian(bool on) { return SetNumber("Language", "Russian", on ? 1 : 0); }

BoardDelays Profile::Delays() const {
  IniDocument doc = Read();
  auto get = [&](const char* key) { return std::clamp(doc.Number("Connect", key, 0), 0, MaxBoardDelayMs); };
  return {get("Special1"), get("Special2"), get("Special3"), get("Special4")};
}

bool Profile::SetDelays(const BoardDelays& delays) {
  // Every value is tried, so one failure does not leave the others unwritten.
  bool ok = SetNumber("Connect", "Special1", delays.preRead);
  ok = SetNumber("Connect", "Special2", delays.pageRead) && ok;
  ok = SetNumber("Connect", "Special3", delays.pageWrite) && ok;
  ok = SetNumber("Connect", "Special4", delays.postSend) && ok;
  return ok;
}

bool Profile::LoadMostRecent() const { return GetNumber("Recent", "LoadMostRecent", 0) != 0; }
bool Profile::SetLoadMostRecent(bool on) { return SetNumber("Recent", "LoadMostRecent", on ? 1 : 0); }

namespace {
std::string RecentKey(int slot) { return "Project" + std::to_string(slot); }
}  // namespace

std::string Profile::RecentProject(int slot) const {
  if (slot < 1 || slot > RecentSlotCount) return std::string(Unspecified);
  return GetText("Recent", RecentKey(slot), Unspecified);
}

bool Profile::SetRecentProject(int slot, std::string_view path) {
  if (slot < 1 || slot > RecentSlotCount) return false;
  return SetText("Recent", RecentKey(slot), path.empty() ? Unspecified : path);
}

std::string Profile::PortPath(int portIndex) const {
  if (portIndex < 0 || portIndex >= PortCount) return {};
  std::string path = GetText("Ports", PortMap::PortName(portIndex), "");
  return path.empty() ? PortMap::DefaultPath(portIndex) : path;
}

bool Profile::SetPortPath(int portIndex, std::string_view path) {
  if (portIndex < 0 || portIndex >= PortCount) return false;
  return SetText("Ports", PortMap::PortName(portIndex), path);
}

PortMap PortMapOf(const Profile& profile) {
  PortMap map;
  for (int i = 0; i < PortCount; ++i) map.Set(i, profile.PortPath(i));
  return map;
}

}  // namespace zr7
