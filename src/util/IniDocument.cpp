#include "util/IniDocument.h"

// SimpleIni is used for its char interface only; its implementation is compiled here, once.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>

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

}  // namespace zr7
