#pragma once
// Selecting and overwriting bytes in the hex view: a click chooses a byte and a mode, typed
// characters change the image. Also answers, for the painter, what role each byte has.

#include <cstdint>
#include <optional>

#include "present/ByteColours.h"
#include "present/HexLayout.h"

namespace zr7 {

class MemoryBuffer;

enum class EditMode : std::int32_t { None = 0, HexHigh = 1, HexLow = 2, Ascii = 3 };

class HexEdit {
 public:
  explicit HexEdit(MemoryBuffer& buffer) : buffer_(buffer) {}

  EditMode mode() const { return mode_; }
  // Display position of the selected byte; unset until the first click on a byte.
  std::optional<std::uint32_t> selectedIndex() const { return selected_; }

  bool swapBytePairs() const { return swap_; }
  void SetSwapBytePairs(bool swap) { swap_ = swap; }
  PositionMap Positions() const;

  // A left click: a present byte under the click is selected in the mode of its area;
  // anything else leaves the selection as it was. True when a byte was selected.
  bool Click(const HexHit& hit);
  // The right button: ends editing. True when there was an edit to end.
  bool Cancel();
  // One typed character. True when the image or the edit state changed.
  bool Type(char32_t ch);

  // The role the painter gives display position `position`; none for an absent position.
  // While the buffer is busy this reads no array of the buffer.
  std::optional<ByteRole> RoleAt(std::uint32_t position) const;

 private:
  void MoveOn(EditMode mode);
  void SetChanged(std::uint32_t storageIndex);

  MemoryBuffer& buffer_;
  EditMode mode_ = EditMode::None;
  std::optional<std::uint32_t> selected_;
  bool swap_ = false;
};

}  // namespace zr7
