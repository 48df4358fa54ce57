#pragma once
// The commands that deal with the board itself rather than with chip memory: finding it on
// COM1..COM8, showing its identity and reading the target's calibration bytes. Each is one
// short connection over a BoardLink and reports through its operator.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/BoardLink.h"

namespace zr7 {

struct SearchResult {
  int port = 0;            // the first board found (1..8), 0 when none answered
  std::vector<int> ports;  // every port with a board of the required version, in order
  std::string listText;    // the status line: "<text> on COMn" entries, or "ZR7 was not found"
};

struct CalibrationResult {
  std::vector<std::uint8_t> bytes;
  std::string shortText;  // "Calibration bytes: 9A 9B ..."
  std::string longText;   // the box: one line per byte with its frequency
};

// The identification characters that make up "XYZ Version a.bc": 0, 1, 2, 4, 6 and 7. The board
// chooses the text's length, so a missing or unprintable character becomes '?'.
std::array<char, 6> IdentVersionChars(const std::string& ident);
// The text with every unprintable character replaced by '?', for the status line.
std::string PrintableText(const std::string& text);

class BoardManagement {
 public:
  explicit BoardManagement(BoardLink& link) : link_(link) {}

  SearchResult SearchBoard();
  // The board's identity in a notice; false when the connection has reported a failure.
  bool ShowBoardInfo(int portNumber, std::string* identOut = nullptr,
                     std::array<std::uint8_t, 5>* serialOut = nullptr);
  // As many bytes as the device has; false when reported (no port, connection, a silent chip).
  bool ReadCalibration(const ConnectOptions& options, int portNumber, CalibrationResult* out = nullptr);

 private:
  BoardLink& link_;
};

}  // namespace zr7
