#pragma once
// The eight most recently used project files, most recent first, and what the "Project" menu
// shows of them.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "project/Profile.h"

namespace zr7 {

// Whether two spellings of a path name the same file: exactly, on a file system that tells
// letter case apart; regardless of (ASCII) letter case where the file system ignores it.
enum class PathCase { Exact, IgnoreCase };

constexpr PathCase NativePathCase() {
#if defined(_WIN32) || defined(__APPLE__)
  return PathCase::IgnoreCase;
#else
  return PathCase::Exact;
#endif
}

bool SamePath(std::string_view a, std::string_view b, PathCase rule);

// The path from the current folder, with "." and ".." taken out; as given if that fails.
std::string AbsolutePath(const std::string& path);

inline constexpr int RecentPlaceholderCommand = 32800;  // the greyed "Recent Projects" item
inline constexpr int FirstRecentCommand = 32801;        // slot 1; slot n is 32800 + n

struct RecentMenuEntry {
  int commandId;
  std::string text;  // the full path; the placeholder's own menu text for the placeholder
  bool enabled;
  bool operator==(const RecentMenuEntry&) const = default;
};

class RecentList {
 public:
  explicit RecentList(Profile& profile, PathCase rule = NativePathCase()) : profile_(&profile), rule_(rule) {}

  // Slot 1..8; "" for an empty slot (also for a number outside 1..8).
  const std::string& Slot(int slot) const;

  // Reads "Recent" "Project1".."Project8"; "[Unspecified]" gives an empty slot.
  void LoadRecentList();
  // Writes every slot, "[Unspecified]" for an empty one. False when the profile refused.
  bool SaveRecentList();
  // Moves the path, made absolute, to slot 1 (from where it was, else pushing the eighth out)
  // and saves. Entries read from the profile stay as they are until then.
  void AddToRecent(const std::string& path);

  // What goes where the placeholder stands: slots 1, 2, ... up to the first empty one, each
  // with command 32800 + slot; with slot 1 empty, only the placeholder itself, greyed.
  std::vector<RecentMenuEntry> MenuEntries(std::string_view placeholderText) const;

 private:
  Profile* profile_;
  PathCase rule_;
  std::array<std::string, RecentSlotCount> slots_;
};

}  // namespace zr7
