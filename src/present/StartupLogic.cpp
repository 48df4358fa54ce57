#include "present/StartupLogic.h"

#include <cctype>

#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"

namespace zr7 {

namespace {

constexpr std::string_view kSimulatorOption = "--simulator";
constexpr std::string_view kAutoprogramOption = "-autoprogram";

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// "ATmega325/3250" answers to itself, "ATmega325" and "ATmega3250".
bool NameMatches(std::string_view row, std::string_view wanted) {
  if (SameLetters(row, wanted)) return true;
  const auto slash = row.find('/');
  if (slash == std::string_view::npos) return false;
  std::string_view first = row.substr(0, slash);
  if (SameLetters(first, wanted)) return true;
  std::string_view prefix = first;
  while (!prefix.empty() && std::isdigit(static_cast<unsigned char>(prefix.back()))) prefix.remove_suffix(1);
  std::string_view rest = row.substr(slash + 1);
  while (!rest.empty()) {
    const auto next = rest.find('/');
    if (SameLetters(std::string(prefix) + std::string(rest.substr(0, next)), wanted)) return true;
    if (next == std::string_view::npos) break;
    rest.remove_prefix(next + 1);
  }
  return false;
}

}  // namespace

std::optional<std::string> DeviceTableName(std::string_view userName) {
  for (const DeviceRecord& d : DeviceTable())
    if (NameMatches(d.Name, userName)) return std::string(d.Name);
  return std::nullopt;
}

OwnOptions SplitOwnOptions(const std::vector<std::string>& arguments) {
  OwnOptions out;
  for (const std::string& a : arguments) {
    const std::string_view arg = a;
    if (arg == kSimulatorOption) {
      out.simulator = true;
    } else if (arg.starts_with(kSimulatorOption) && arg.size() > kSimulatorOption.size() &&
               arg[kSimulatorOption.size()] == '=') {
      out.simulator = true;
      const std::string_view chip = arg.substr(kSimulatorOption.size() + 1);
      if (auto name = DeviceTableName(chip))
        out.simulatorChip = *name;
      else
        out.error = "--simulator: no device is called '" + std::string(chip) + "'";
    } else {
      out.rest.push_back(a);
    }
  }
  if (out.simulator && out.simulatorChip.empty() && out.error.empty()) out.simulatorChip = DefaultDeviceName;
  return out;
}

std::string CommandLineOf(std::string_view program, const std::vector<std::string>& arguments) {
  std::string line(program);
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    line += ' ';
    if (i == 0)
      line += '"' + arguments[i] + '"';
    else
      line += arguments[i];
  }
  return line;
}

CommandLine ParseCommandLine(std::string_view line) {
  std::size_t pos = 0;
  if (!line.empty() && line[0] == '"') {
    const auto close = line.find('"', 1);
    pos = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    const auto blank = line.find(' ');
    pos = blank == std::string_view::npos ? line.size() : blank;
  }
  if (pos < line.size()) ++pos;  // the one separating blank
  const std::string_view rest = line.substr(pos);
  CommandLine out;
  if (rest.empty()) return out;
  if (rest[0] == '"') {
    const auto close = rest.find('"', 1);
    out.projectName = std::string(rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    // The quote and one separator are skipped; what follows is the option.
    if (close != std::string_view::npos && rest.size() - (close + 1) >= 2) out.option = std::string(rest.substr(close + 2));
  } else {
    out.projectName = std::string(rest);
  }
  return out;
}

StartupProject ChooseStartupProject(bool loadMostRecent, std::string_view recentProject1, const CommandLine& line) {
  StartupProject out;
  out.name = loadMostRecent ? std::string(recentProject1) : std::string(Unspecified);
  if (out.name.empty()) out.name = Unspecified;
  if (!line.projectName.empty()) out.name = line.projectName;
  // The exact, case-sensitive comparison of the original: "[unspecified]" is a file name.
  out.autoprogram = out.name != Unspecified && line.option == kAutoprogramOption;
  return out;
}

BoardChoice StartupBoard(int profilePort, bool profileHighSpeed, bool simulator) {
  if (simulator) return {1, profileHighSpeed, true};
  return {profilePort, profileHighSpeed, false};
}

bool AskBoardAtStartup(const BoardChoice& board) { return board.port == 0 && !board.simulatorPort; }

bool StorePort(const BoardChoice& board) { return !board.simulatorPort; }

BoardChoice BoardAfterSettings(const BoardChoice& before, bool confirmed, int port, bool highSpeed) {
  if (!confirmed && before.simulatorPort) return before;
  return {port, highSpeed, false};
}

}  // namespace zr7
