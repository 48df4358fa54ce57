#pragma once
// Geometry of the hex view, in pixels derived from the view font's metrics: where the grid, the
// header, the addresses and every byte cell lie, which byte a click hits, how far the view
// scrolls. No painting and no toolkit here, so the rules can be tested on their own.

#include <array>
#include <cstdint>
#include <optional>

namespace zr7 {

// A half-open pixel rectangle: left <= x < right, top <= y < bottom.
struct CellRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const CellRect&) const = default;
};

// Display position to storage index. With SwapBytePairs the view shows byte i at i xor 1; an
// odd-length image then has a pair whose first half lies past the image. That half is shown as
// absent, and the display is one position longer so the image's last byte stays visible.
class PositionMap {
 public:
  PositionMap(std::uint32_t storageLength, bool swapBytePairs)
      : storageLength_(storageLength), swap_(swapBytePairs) {}

  std::uint32_t DisplayLength() const { return swap_ && (storageLength_ & 1) ? storageLength_ + 1 : storageLength_; }
  std::optional<std::uint32_t> StorageIndex(std::uint32_t position) const {
    const std::uint32_t s = swap_ ? position ^ 1u : position;
    if (position >= DisplayLength() || s >= storageLength_) return std::nullopt;
    return s;
  }
  // The next present position after `position`, if any (typing moves on to it).
  std::optional<std::uint32_t> Next(std::uint32_t position) const {
    for (std::uint32_t p = position + 1; p < DisplayLength() && p <= position + 2; ++p)
      if (StorageIndex(p)) return p;
    return std::nullopt;
  }

 private:
  std::uint32_t storageLength_;
  bool swap_;
};

// Scroll requests of the vertical scroll bar.
enum class ScrollRequest { LineUp, LineDown, PageUp, PageDown, ThumbTrack, ThumbPosition, Other };

struct ScrollRange {
  bool shown = false;  // the scroll bar is shown; only then does the position count
  int maximum = 0;     // positions run 0..maximum (rows scrolled off the top)
  bool operator==(const ScrollRange&) const = default;
};

// What a left click at a point hits.
struct HexHit {
  enum class Area { Nothing, Header, HexCell, CharCell };
  Area area = Area::Nothing;
  std::uint32_t position = 0;  // display position, for the two cell areas
};

class HexLayout {
 public:
  static constexpr int BytesPerRow = 16;
  // A 16-bit scroll bar: rows past this are not reachable (the first 512 KiB).
  static constexpr int MaxScrollRows = 32768;
  static constexpr int PageRows = 16;

  // From the font: its average character width and its height, in pixels.
  HexLayout(int averageCharWidth, int charHeight);

  int cellWidth() const { return cw_; }
  int lineHeight() const { return lh_; }

  // Grid: one horizontal rule under the header, three vertical rules (before the bytes, between
  // bytes and characters, after the characters).
  int HeaderRuleY() const { return lh_ + 2; }
  std::array<int, 3> ColumnRuleXs() const { return {3 * cw_ + 2, 35 * cw_ + 4, 51 * cw_ + 6}; }

  // Header cells for column i (0..15) of the byte and character areas.
  CellRect HeaderHexCell(int column) const;
  CellRect HeaderCharCell(int column) const;
  // Cells of painted row r (0 = first row under the header).
  CellRect AddressCell(int row) const;
  CellRect HexCell(int row, int column) const;
  CellRect CharCell(int row, int column) const;

  // Rows the paint walks through for a client height: the last one may be cut off.
  int PaintedRows(int clientHeight) const;
  // Rows that fit entirely; the scroll range leaves the last image row fully visible.
  int FullRows(int clientHeight) const;

  // The display positions painted at scroll position `topRow`: [first, end).
  std::uint32_t FirstPainted(int topRow) const { return static_cast<std::uint32_t>(topRow) * BytesPerRow; }
  std::uint32_t EndPainted(int topRow, int clientHeight, std::uint32_t displayLength) const;

  ScrollRange ComputeScrollRange(std::uint32_t displayLength, int clientHeight) const;
  // The position after one scroll request, clamped to 0..maximum.
  static int Scroll(ScrollRequest request, int current, int thumb, int maximum);

  // A left click at (x, y) with the view scrolled to topRow; positions at or past
  // displayLength hit nothing.
  HexHit HitTest(int x, int y, int topRow, std::uint32_t displayLength) const;

 private:
  int cw_;
  int lh_;
};

}  // namespace zr7
