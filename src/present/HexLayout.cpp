#include "present/HexLayout.h"

#include <algorithm>

namespace zr7 {

// The margins around the character metrics give the cells room for the grid lines.
HexLayout::HexLayout(int averageCharWidth, int charHeight)
    : cw_(std::max(averageCharWidth, 0) + 4), lh_(std::max(charHeight, 0) + 4) {}

CellRect HexLayout::HeaderHexCell(int column) const {
  const int left = 3 * cw_ + 3 + 2 * cw_ * column;
  return {left, 0, left + 2 * cw_, lh_};
}

CellRect HexLayout::HeaderCharCell(int column) const {
  const int left = 35 * cw_ + 5 + cw_ * column;
  return {left, 0, left + cw_, lh_};
}

CellRect HexLayout::AddressCell(int row) const {
  const int top = lh_ + 2 + lh_ * row;
  return {1, top, 3 * cw_, top + lh_};
}

CellRect HexLayout::HexCell(int row, int column) const {
  const int top = (row + 1) * lh_ + 2;
  return {(2 * column + 3) * cw_ + 2, top, (2 * column + 5) * cw_ + 2, top + lh_};
}

CellRect HexLayout::CharCell(int row, int column) const {
  const int top = (row + 1) * lh_ + 2;
  return {(column + 35) * cw_ + 6, top, (column + 36) * cw_ + 6, top + lh_};
}

int HexLayout::PaintedRows(int clientHeight) const { return std::max((clientHeight - 4) / lh_, 0); }

// A client lower than one row would give a negative count and a scroll bar over nothing.
int HexLayout::FullRows(int clientHeight) const { return std::max((clientHeight - lh_ - 3) / lh_, 0); }

std::uint32_t HexLayout::EndPainted(int topRow, int clientHeight, std::uint32_t displayLength) const {
  const std::uint64_t end = (static_cast<std::uint64_t>(topRow) + PaintedRows(clientHeight)) * BytesPerRow;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(end, displayLength));
}

ScrollRange HexLayout::ComputeScrollRange(std::uint32_t displayLength, int clientHeight) const {
  const std::uint32_t needed = (displayLength + BytesPerRow - 1) / BytesPerRow;
  const int rows = static_cast<int>(std::min<std::uint32_t>(needed, MaxScrollRows));
  const int visible = FullRows(clientHeight);
  if (rows > visible) return {true, rows - visible};
  return {false, 0};
}

int HexLayout::Scroll(ScrollRequest request, int current, int thumb, int maximum) {
  int next = current;
  switch (request) {
    case ScrollRequest::LineUp: next = current - 1; break;
    case ScrollRequest::LineDown: next = current + 1; break;
    case ScrollRequest::PageUp: next = current - PageRows; break;
    case ScrollRequest::PageDown: next = current + PageRows; break;
    case ScrollRequest::ThumbTrack:
    case ScrollRequest::ThumbPosition: next = thumb; break;
    case ScrollRequest::Other: break;
  }
  return std::clamp(next, 0, std::max(maximum, 0));
}

HexHit HexLayout::HitTest(int x, int y, int topRow, std::uint32_t displayLength) const {
  if (displayLength == 0) return {};
  if (y < lh_ + 2) return {HexHit::Area::Header, 0};
  const std::int64_t base = std::int64_t{BytesPerRow} * ((y - 2) / lh_ - 1 + topRow);
  HexHit::Area area = HexHit::Area::Nothing;
  int column = -1;
  if (x >= 3 * cw_ + 2 && x < 35 * cw_ + 2) {
    area = HexHit::Area::HexCell;
    column = ((x - 2) / cw_ - 3) / 2;
  } else if (x >= 35 * cw_ + 6 && x < 51 * cw_ + 6) {
    area = HexHit::Area::CharCell;
    column = (x - 6) / cw_ - 35;
  }
  if (column < 0 || column >= BytesPerRow || base + column >= displayLength) return {};
  return {area, static_cast<std::uint32_t>(base + column)};
}

}  // namespace zr7
