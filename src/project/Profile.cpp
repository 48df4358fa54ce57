#include "project/Profile.h"

// SimpleIni is used for its char interface only; its implementation is compiled here, once.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

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

namespace {

// Settings files are a few kilobytes; anything far larger is not one, and reading it whole
// (SimpleIni keeps several copies) would only waste memory.
constexpr std::uintmax_t MaxSettingsFileSize = 1u << 20;

bool IsCommentLine(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  return i < line.size() && (line[i] == ';' || line[i] == '#');
}

bool IsBlankLine(std::string_view line) {
  return std::all_of(line.begin(), line.end(), IsBlank);
}

// SimpleIni keeps a comment only together with the section or key that follows it, so the
// comment lines after the last entry would be dropped on rewrite; they are kept separately.
std::string TrailingComments(std::string_view text) {
  std::size_t end = text.size();
  std::size_t blockStart = std::string_view::npos;
  for (;;) {
    std::size_t start = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
    start = (start == std::string_view::npos) ? 0 : start + 1;
    std::string_view line = text.substr(start, end - start);
    if (IsCommentLine(line)) {
      blockStart = start;
    } else if (!IsBlankLine(line)) {
      break;
    }
    if (start == 0) return {};  // nothing but comments: SimpleIni's file comment has them
    end = start - 1;
  }
  if (blockStart == std::string_view::npos) return {};
  std::string kept;
  std::string_view rest = text.substr(blockStart);
  while (!rest.empty()) {
    std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    kept.append(line).push_back('\n');
    if (nl == std::string_view::npos) break;
    rest.remove_prefix(nl + 1);
  }
  while (kept.size() >= 2 && kept[kept.size() - 2] == '\n') kept.pop_back();  // trailing blank lines
  return kept;
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\'')) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Quotes a value that reading would otherwise change: surrounding blanks, or enclosing quotes
// that belong to the value.
std::string Stored(std::string_view value) {
  bool quote = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  quote = quote || (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''));
  if (!quote) return std::string(value);
  std::string s;
  s.reserve(value.size() + 2);
  s.push_back('"');
  s.append(value);
  s.push_back('"');
  return s;
}

}  // namespace

std::int32_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), limit);
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min<std::int64_t>(value, limit - 1));
}

struct IniDocument::Impl {
  Impl() { Configure(); }
  void Configure() {
    ini.SetMultiKey(true);  // the first of duplicate keys counts, as on Windows; Set replaces all
    ini.SetMultiLine(false);
    ini.SetQuotes(false);  // quotes are handled the profile way, single or double
    ini.SetSpaces(false);  // "key=value"
  }
  CSimpleIniA ini;  // the case-insensitive variant
  std::string trailingComments;
  bool crlf = false;  // a file from Windows keeps its line ends when rewritten
};

IniDocument::IniDocument() : impl_(std::make_unique<Impl>()) {}
IniDocument::~IniDocument() = default;
IniDocument::IniDocument(IniDocument&&) noexcept = default;
IniDocument& IniDocument::operator=(IniDocument&&) noexcept = default;

IniDocument::ReadResult IniDocument::ReadFile(const std::string& path, ReadFailure* why) {
  Parse({});
  auto fail = [&](ReadFailure failure) {
    if (why) *why = failure;
    return ReadResult::Failed;
  };
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return ReadResult::Missing;
  if (ec) return fail(ReadFailure::CannotOpen);
  // A folder, a pipe or a device is no settings file, and opening the latter two could block.
  if (!std::filesystem::is_regular_file(status)) return fail(ReadFailure::NotRegular);
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(ReadFailure::CannotOpen);
  std::string text;
  char chunk[8192];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (text.size() > MaxSettingsFileSize) return fail(ReadFailure::TooLarge);
  }
  if (in.bad()) return fail(ReadFailure::ReadError);
  Parse(text);
  return ReadResult::Read;
}

void IniDocument::Parse(std::string_view text) {
  impl_->ini.Reset();
  impl_->Configure();
  impl_->trailingComments = TrailingComments(text);
  std::size_t firstBreak = text.find('\n');
  impl_->crlf = firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r';
  // SimpleIni reads up to the first NUL byte; what follows one is no text anyway.
  impl_->ini.LoadData(text.data(), text.size());
}

bool IniDocument::Has(std::string_view section, std::string_view key) const { return Value(section, key).has_value(); }

std::optional<std::string> IniDocument::Value(std::string_view section, std::string_view key) const {
  const char* v = impl_->ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
  if (!v) return std::nullopt;
  return Unquoted(v);
}

std::string IniDocument::Text(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto v = Value(section, key);
  return v ? *v : std::string(fallback);
}

std::int32_t IniDocument::Number(std::string_view section, std::string_view key, std::int32_t fallback) const {
  auto v = Value(section, key);
  return (!v || v->empty()) ? fallback : LeadingNumber(*v);
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  // A key the file has keeps its spelling there, as the profile functions do; SimpleIni
  // would otherwise put ours in its place.
  std::string name(key);
  CSimpleIniA::TNamesDepend keys;
  impl_->ini.GetAllKeys(std::string(section).c_str(), keys);
  for (const auto& k : keys) {
    if (SameNameNoCase(k.pItem, name)) {
      name = k.pItem;
      break;
    }
  }
  impl_->ini.SetValue(std::string(section).c_str(), name.c_str(), Stored(value).c_str(), nullptr, true);
  return true;
}

void IniDocument::SetNumber(std::string_view section, std::string_view key, std::int32_t value) {
  Set(section, key, std::to_string(value));
}

std::string IniDocument::Serialize() const {
  std::string saved;
  impl_->ini.Save(saved, impl_->ini.IsUnicode());  // keeps a UTF-8 signature the file had
  // SimpleIni puts two blank lines between sections; one is what these files have.
  std::string out;
  out.reserve(saved.size());
  for (char c : saved) {
    if (c == '\n' && out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') continue;
    out.push_back(c);
  }
  if (!impl_->trailingComments.empty()) {
    if (!out.empty()) out.push_back('\n');
    out += impl_->trailingComments;
  }
  if (!impl_->crlf) return out;
  std::string crlf;
  crlf.reserve(out.size() + out.size() / 16);
  for (char c : out) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  return crlf;
}

bool IniDocument::WriteFile(const std::string& path, int* errorNumber) const {
  return WriteFileAtomically(path, Serialize(), errorNumber);
}

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
