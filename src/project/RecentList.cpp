#include "project/RecentList.h"

#include <algorithm>
#include <filesystem>

#include "buffers/MemoryBuffer.h"

namespace zr7 {

namespace {
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsEmptySlot(std::string_view path) { return path.empty() || path == Unspecified; }
}  // namespace

bool SamePath(std::string_view a, std::string_view b, PathCase rule) {
  if (rule == PathCase::Exact) return a == b;
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

const std::string& RecentList::Slot(int slot) const {
  static const std::string none;
  return (slot >= 1 && slot <= RecentSlotCount) ? slots_[slot - 1] : none;
}

void RecentList::LoadRecentList() {
  for (int n = 1; n <= RecentSlotCount; ++n) {
    std::string path = profile_->RecentProject(n);
    slots_[n - 1] = IsEmptySlot(path) ? std::string() : std::move(path);
  }
}

bool RecentList::SaveRecentList() {
  bool ok = true;
  for (int n = 1; n <= RecentSlotCount; ++n) ok = profile_->SetRecentProject(n, slots_[n - 1]) && ok;
  return ok;
}

std::string AbsolutePath(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path full = fs::absolute(fs::path(path), ec);
  return ec ? path : full.lexically_normal().string();
}

void RecentList::AddToRecent(const std::string& path) {
  if (IsEmptySlot(path)) return;
  // Absolute, so that the entry opens wherever the program is started next time. An entry
  // stored relative (by an older version) is the same file when it is so from here.
  const std::string full = AbsolutePath(path);
  auto found = std::find_if(slots_.begin(), slots_.end(), [&](const std::string& s) {
    return !s.empty() && SamePath(AbsolutePath(s), full, rule_);
  });
  // The slots above the match (or all but the last) move down by one; the path goes on top,
  // spelled as it was given this time.
  auto last = (found == slots_.end()) ? slots_.end() - 1 : found;
  std::move_backward(slots_.begin(), last, last + 1);
  slots_[0] = full;
  SaveRecentList();
}

std::vector<RecentMenuEntry> RecentList::MenuEntries(std::string_view placeholderText) const {
  std::vector<RecentMenuEntry> entries;
  for (int n = 1; n <= RecentSlotCount && !slots_[n - 1].empty(); ++n) {
    entries.push_back({RecentPlaceholderCommand + n, slots_[n - 1], true});
  }
  if (entries.empty()) entries.push_back({RecentPlaceholderCommand, std::string(placeholderText), false});
  return entries;
}

}  // namespace zr7
