#pragma once
// The character column of the hex view shows each byte as its glyph in the IBM PC's code page
// 437 (the OEM set of the original DOS-era terminal font), so control codes and high bytes get a
// visible symbol too; and a typed character is stored as the byte of that glyph.

#include <cstdint>
#include <optional>

namespace zr7 {

// The Unicode code point of byte b's glyph; 0 for the zero byte, which shows nothing.
char32_t Cp437Glyph(std::uint8_t b);

// The byte a typed character stands for: control codes (below 0x20, and 0x7F) as they are,
// every other character by its glyph; none for characters the code page lacks.
std::optional<std::uint8_t> Cp437ByteOf(char32_t ch);

}  // namespace zr7
