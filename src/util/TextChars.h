#pragma once
// The character classes the number readers of the dialogs and the profile share, as the C
// library's scanf sees them in the "C" locale (no locale may change what a project reads).

namespace zr7 {

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// 0..15, or -1 for a character that is no hexadecimal digit.
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace zr7
