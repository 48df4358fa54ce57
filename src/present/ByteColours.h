#pragma once
// What a byte of the hex view stands for, and the one table that turns that into a colour.
// The painting code asks for a role and never spells a colour itself.

#include <cstdint>

namespace zr7 {

enum class ByteRole : std::uint8_t {
  // The byte states of the buffer, in their numeric order.
  FromFile,
  Saved,
  Written,
  Verified,
  Read,
  Pending,
  Changed,
  Unassigned,
  Selected,  // the byte being edited
  Busy,      // an operation owns the buffer: every byte alike
  Text,      // header digits, addresses, grid and frame
};

inline constexpr int ByteRoleCount = static_cast<int>(ByteRole::Text) + 1;

struct Rgb {
  std::uint8_t red, green, blue;
  bool operator==(const Rgb&) const = default;
};

constexpr Rgb RoleColour(ByteRole role) {
  switch (role) {
    case ByteRole::FromFile: return {0, 0, 0};
    case ByteRole::Saved: return {0, 0, 128};
    case ByteRole::Written: return {0, 0, 255};
    case ByteRole::Verified: return {0, 128, 0};
    case ByteRole::Read: return {0, 96, 0};
    case ByteRole::Pending: return {255, 0, 0};
    case ByteRole::Changed: return {255, 0, 255};
    case ByteRole::Unassigned: return {0, 128, 128};
    case ByteRole::Selected: return {0, 128, 128};
    case ByteRole::Busy: return {0, 0, 0};
    case ByteRole::Text: return {0, 0, 0};
  }
  return {0, 0, 0};
}

// The role of a byte state code; codes no operation writes count as unassigned.
constexpr ByteRole RoleOfState(std::uint8_t state) {
  return state <= 7 ? static_cast<ByteRole>(state) : ByteRole::Unassigned;
}

}  // namespace zr7
