#pragma once
// Pre-drawn text for the hex view: every two-digit hex value, every character glyph and every
// single digit, once per colour, in one image each. A frame then copies small rectangles
// instead of laying out some two thousand strings, which keeps a full-screen paint within a
// couple of milliseconds.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <array>
#include <cstdint>
#include <unordered_map>

#include "present/HexLayout.h"

namespace zr7 {

class HexViewGlyphs {
 public:
  HexViewGlyphs(const QFont& font, const HexLayout& layout, qreal devicePixelRatio);

  qreal devicePixelRatio() const { return dpr_; }

  // Each draws right-aligned and vertically centred in the cell, as text drawn there would be.
  void DrawHexPair(QPainter& p, QColor colour, std::uint8_t value, const CellRect& cell);
  void DrawChar(QPainter& p, QColor colour, std::uint8_t value, const CellRect& cell);
  // The lowest `digits` hex digits of value, upper case with leading zeros.
  void DrawHexNumber(QPainter& p, QColor colour, std::uint32_t value, int digits, const CellRect& cell);

 private:
  static constexpr int PairSlots = 256;
  static constexpr int CharSlots = 256;
  static constexpr int DigitSlots = 16;
  static constexpr int SlotCount = PairSlots + CharSlots + DigitSlots;

  struct Stamp {
    QRect source;   // inked pixels in the sheet, device pixels; empty for a blank glyph
    QPointF offset;  // from the right-top corner of the cell to the stamp, logical pixels
  };
  struct Sheet {
    QImage image;
    std::array<Stamp, SlotCount> stamps;
  };

  const Sheet& SheetFor(QColor colour);
  void Draw(QPainter& p, QColor colour, int slot, int cellRight, int cellTop);

  QFont font_;
  int cw_;
  int lh_;
  int digitAdvance_;
  qreal dpr_;
  std::unordered_map<QRgb, Sheet> sheets_;
};

}  // namespace zr7
