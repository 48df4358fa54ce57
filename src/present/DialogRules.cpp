#include "present/DialogRules.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "project/Profile.h"

#include "util/TextChars.h"

namespace zr7 {

namespace {


std::uint32_t LeadingHexNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexDigit(text[i + 2]) >= 0)
    i += 2;
  std::uint64_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i)
    value = std::min<std::uint64_t>(value * 16 + static_cast<std::uint64_t>(HexDigit(text[i])), 0xFFFFFFFFu);
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? 0u - result : result;
}

}  // namespace

std::string LoadAddressText(std::uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(address));
  return text;
}

std::uint32_t ParseLoadAddress(std::string_view text, bool decimal) {
  if (decimal) return static_cast<std::uint32_t>(LeadingNumber(text));
  return LeadingHexNumber(text);
}

BoardDelayTexts DelayTexts(const BoardDelays& delays) {
  return {std::to_string(delays.preRead), std::to_string(delays.pageRead), std::to_string(delays.pageWrite),
          std::to_string(delays.postSend)};
}

std::optional<std::int32_t> ParseDelay(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::size_t digits = begin;
  if (digits < end && (text[digits] == '+' || text[digits] == '-')) ++digits;
  if (digits == end) return std::nullopt;
  for (std::size_t i = digits; i < end; ++i)
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  // Saturating, so a long row of digits is out of range rather than wrapped into it.
  const std::int32_t value = LeadingNumber(text.substr(begin, end - begin));
  if (value < 0 || value > MaxBoardDelayMs) return std::nullopt;
  return value;
}

DelaysCheck CheckDelays(const BoardDelayTexts& texts) {
  std::array<std::int32_t, BoardDelayCount> values{};
  for (int i = 0; i < BoardDelayCount; ++i) {
    const auto value = ParseDelay(texts[static_cast<std::size_t>(i)]);
    if (!value) return {std::nullopt, i};
    values[static_cast<std::size_t>(i)] = *value;
  }
  return {BoardDelays{values[0], values[1], values[2], values[3]}, -1};
}

MessageBoxRequest DelayRangeBox() {
  return {"Advanced Board Settings", "Enter an integer from 0 to " + std::to_string(MaxBoardDelayMs) + ".",
          BoxIcon::Warning, BoxButtons::Ok};
}

int CheckedPortPosition(int port) { return (port >= 1 && port <= PortCount) ? port - 1 : 0; }

int PortFromPosition(int checkedPosition, int previousPort) {
  return (checkedPosition >= 0 && checkedPosition < PortCount) ? checkedPosition + 1 : previousPort;
}

std::string NormalizedPortPath(std::string_view typed, int portIndex) {
  std::string path;
  for (char c : typed)
    if (c != '\r' && c != '\n') path += c;
  const std::size_t first = path.find_first_not_of(" \t");
  if (first == std::string::npos) return PortMap::DefaultPath(portIndex);
  return path.substr(first, path.find_last_not_of(" \t") - first + 1);
}

bool PortPresent(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::exists(path, error);
}

bool BoardSettingsCommand(Profile& profile, int& port, bool& highSpeed, PortMap& ports,
                          const std::function<std::optional<BoardSettingsChoice>(int, bool, const PortMap&)>& dialog) {
  highSpeed = profile.HighSpeed();
  port = profile.ComPort();
  const std::optional<BoardSettingsChoice> choice = dialog(port, highSpeed, ports);
  if (!choice) return false;
  port = choice->port;
  highSpeed = choice->highSpeed;
  profile.SetComPort(port);
  profile.SetHighSpeed(highSpeed);
  // Only the slots the operator changed: a path that holds for this run alone (the
  // simulator's terminal) must not end up in the profile.
  for (int i = 0; i < PortCount; ++i) {
    std::string path = NormalizedPortPath(choice->ports.PathFor(i), i);
    if (path == ports.PathFor(i)) continue;
    profile.SetPortPath(i, path);
    ports.Set(i, std::move(path));
  }
  return true;
}

}  // namespace zr7
