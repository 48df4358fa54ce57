#pragma once
// Files of sections and keys (the project file and the per-user profile), and the per-user
// profile itself: port, speed, language, board delays, recent projects, port paths.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/IniDocument.h"
#include "link/PortMap.h"
#include "link/ChipJob.h"  // BoardDelays

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

// Why a file of sections and keys that could not be read is not saved over: what stops its
// replacement, or else that what it holds would be lost. For the save failure messages.
std::string UnreadableFileCause(const MessageCatalog& catalog, const std::string& path);

// The largest of the four board timing values (BoardDelays, "Connect" "Special1".."Special4").
inline constexpr std::int32_t MaxBoardDelayMs = 1000;

inline constexpr int RecentSlotCount = 8;

// Where the profile lives: $XDG_CONFIG_HOME/zr7/zr7.ini, else ~/.config/zr7/zr7.ini. The
// two-argument form takes the variables' values (null = unset) so that tests need not touch
// the process environment. Empty when neither gives an absolute folder.
std::string DefaultProfilePath();
std::string DefaultProfilePath(const char* xdgConfigHome, const char* home);

// The per-user profile. Every read looks at the file as it is now (another instance of the
// program may have written it) and falls back to the default of the value; every write
// rewrites the file atomically with that one value changed. A write that fails is reported
// to the operator (message 2024) once; further failures stay quiet until a write succeeds.
class Profile {
 public:
  Profile(std::string filePath, OperatorInterface& op, const MessageCatalog& catalog);

  const std::string& FilePath() const { return path_; }

  std::int32_t GetNumber(std::string_view section, std::string_view key, std::int32_t fallback) const;
  std::string GetText(std::string_view section, std::string_view key, std::string_view fallback) const;
  bool SetNumber(std::string_view section, std::string_view key, std::int32_t value);
  bool SetText(std::string_view section, std::string_view key, std::string_view value);

  // "Connect" "COM": the board's port 1..8, 0 when none is chosen (also for a number that
  // names no port).
  int ComPort() const;
  bool SetComPort(int port);
  bool HighSpeed() const;
  bool SetHighSpeed(bool on);
  bool Russian() const;
  bool SetRussian(bool on);
  // Each value held to 0..1000, the range the delay dialog allows: a hand-edited profile
  // must not make every page transfer wait minutes.
  BoardDelays Delays() const;
  bool SetDelays(const BoardDelays& delays);
  bool LoadMostRecent() const;
  bool SetLoadMostRecent(bool on);
  // Slot 1..8 of "Recent"; "[Unspecified]" for an empty slot.
  std::string RecentProject(int slot) const;
  bool SetRecentProject(int slot, std::string_view path);
  // "Ports" "COM1".."COM8": the device path of port index 0..7.
  std::string PortPath(int portIndex) const;
  bool SetPortPath(int portIndex, std::string_view path);

 private:
  IniDocument Read() const;
  bool Write(std::string_view section, std::string_view key, std::string_view value);
  void ReportFailure(const std::string& cause);

  std::string path_;
  OperatorInterface* op_;
  const MessageCatalog* catalog_;
  bool failureReported_ = false;
};

// The port paths of the profile, the built-in ones where it names none.
PortMap PortMapOf(const Profile& profile);

}  // namespace zr7
