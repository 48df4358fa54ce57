#include "present/HexEdit.h"

#include "buffers/MemoryBuffer.h"
#include "present/Cp437.h"

namespace zr7 {

namespace {

std::optional<std::uint8_t> HexDigitValue(char32_t ch) {
  if (ch >= '0' && ch <= '9') return static_cast<std::uint8_t>(ch - '0');
  if (ch >= 'a' && ch <= 'f') return static_cast<std::uint8_t>(ch - 'a' + 10);
  if (ch >= 'A' && ch <= 'F') return static_cast<std::uint8_t>(ch - 'A' + 10);
  return std::nullopt;
}

}  // namespace

PositionMap HexEdit::Positions() const { return {buffer_.size(), swap_}; }

bool HexEdit::Click(const HexHit& hit) {
  if (hit.area != HexHit::Area::HexCell && hit.area != HexHit::Area::CharCell) return false;
  if (!Positions().StorageIndex(hit.position)) return false;
  selected_ = hit.position;
  mode_ = hit.area == HexHit::Area::HexCell ? EditMode::HexHigh : EditMode::Ascii;
  return true;
}

bool HexEdit::Cancel() {
  if (mode_ == EditMode::None) return false;
  mode_ = EditMode::None;
  return true;
}

bool HexEdit::Type(char32_t ch) {
  if (mode_ == EditMode::None || !selected_ || buffer_.busy) return false;
  const auto s = Positions().StorageIndex(*selected_);
  if (!s) {
    // The image was replaced by a shorter one under the selection.
    mode_ = EditMode::None;
    return true;
  }
  std::uint8_t& byte = buffer_.data()[*s];
  switch (mode_) {
    case EditMode::HexHigh: {
      const auto v = HexDigitValue(ch);
      if (!v) return false;
      buffer_.MarkModified();
      byte = static_cast<std::uint8_t>((byte & 0x0F) | (*v << 4));
      SetChanged(*s);
      mode_ = EditMode::HexLow;
      return true;
    }
    case EditMode::HexLow: {
      const auto v = HexDigitValue(ch);
      if (!v) return false;
      buffer_.MarkModified();
      byte = static_cast<std::uint8_t>((byte & 0xF0) | *v);
      SetChanged(*s);
      MoveOn(EditMode::HexHigh);
      return true;
    }
    case EditMode::Ascii: {
      const auto b = Cp437ByteOf(ch);
      if (!b) return false;
      byte = *b;
      SetChanged(*s);
      MoveOn(EditMode::Ascii);
      buffer_.MarkModified();
      return true;
    }
    case EditMode::None: break;
  }
  return false;
}

std::optional<ByteRole> HexEdit::RoleAt(std::uint32_t position) const {
  const auto s = Positions().StorageIndex(position);
  if (!s) return std::nullopt;
  if (buffer_.busy) return ByteRole::Busy;
  if (mode_ != EditMode::None && selected_ == position) return ByteRole::Selected;
  const auto& states = buffer_.states();
  // The states are gone once the buffer is detached; the bytes then show as loaded.
  return *s < states.size() ? RoleOfState(states[*s]) : ByteRole::FromFile;
}

// No wrap-around: after the last byte the edit ends.
void HexEdit::MoveOn(EditMode mode) {
  const auto next = Positions().Next(*selected_);
  if (next) {
    selected_ = *next;
    mode_ = mode;
  } else {
    mode_ = EditMode::None;
  }
}

void HexEdit::SetChanged(std::uint32_t storageIndex) {
  auto& states = buffer_.states();
  if (storageIndex < states.size()) states[storageIndex] = StateChanged;
}

}  // namespace zr7
