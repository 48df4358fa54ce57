#include "ui/HexViewGlyphs.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>

#include "present/Cp437.h"

namespace zr7 {

namespace {

// Room around each slot for ink that leaves the cell (fallback fonts with taller glyphs).
constexpr int Pad = 4;
constexpr int SlotsPerRow = 32;
constexpr char HexDigits[] = "0123456789ABCDEF";

QRect InkBounds(const QImage& image, const QRect& area) {
  int left = area.right() + 1, right = area.left() - 1, top = area.bottom() + 1, bottom = area.top() - 1;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qAlpha(line[x]) == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  return left > right ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

HexViewGlyphs::HexViewGlyphs(const QFont& font, const HexLayout& layout, qreal devicePixelRatio)
    : font_(font),
      cw_(layout.cellWidth()),
      lh_(layout.lineHeight()),
      digitAdvance_(QFontMetrics(font).horizontalAdvance(QLatin1Char('0'))),
      dpr_(devicePixelRatio) {}

const HexViewGlyphs::Sheet& HexViewGlyphs::SheetFor(QColor colour) {
  const auto found = sheets_.find(colour.rgb());
  if (found != sheets_.end()) return found->second;

  // Every slot is as wide as a byte's hex cell; the text is right-aligned in it, so narrower
  // cells share the same right edge.
  const int slotWidth = 2 * cw_ + 2 * Pad;
  const int slotHeight = lh_ + 2 * Pad;
  const int rows = (SlotCount + SlotsPerRow - 1) / SlotsPerRow;
  Sheet sheet;
  sheet.image = QImage(QSize(SlotsPerRow * slotWidth, rows * slotHeight) * dpr_, QImage::Format_ARGB32_Premultiplied);
  sheet.image.setDevicePixelRatio(dpr_);
  sheet.image.fill(Qt::transparent);

  auto textOf = [](int slot) -> QString {
    if (slot < PairSlots) return QString::asprintf("%02X", slot);
    if (slot < PairSlots + CharSlots) {
      const char32_t glyph = Cp437Glyph(static_cast<std::uint8_t>(slot - PairSlots));
      return glyph ? QString::fromUcs4(&glyph, 1) : QString();
    }
    return QString(QLatin1Char(HexDigits[slot - PairSlots - CharSlots]));
  };

  QPainter painter(&sheet.image);
  painter.setFont(font_);
  painter.setPen(colour);
  for (int slot = 0; slot < SlotCount; ++slot) {
    const int x = (slot % SlotsPerRow) * slotWidth;
    const int y = (slot / SlotsPerRow) * slotHeight;
    painter.drawText(QRect(x + Pad, y + Pad, 2 * cw_, lh_),
                     Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, textOf(slot));
  }
  painter.end();

  for (int slot = 0; slot < SlotCount; ++slot) {
    const int x = (slot % SlotsPerRow) * slotWidth;
    const int y = (slot / SlotsPerRow) * slotHeight;
    const QRect area(QPoint(x, y) * dpr_, QSize(slotWidth, slotHeight) * dpr_);
    Stamp& stamp = sheet.stamps[slot];
    stamp.source = InkBounds(sheet.image, area);
    const QPointF anchor(x + Pad + 2 * cw_, y + Pad);
    stamp.offset = QPointF(stamp.source.topLeft()) / dpr_ - anchor;
  }
  return sheets_.emplace(colour.rgb(), std::move(sheet)).first->second;
}

void HexViewGlyphs::Draw(QPainter& p, QColor colour, int slot, int cellRight, int cellTop) {
  const Sheet& sheet = SheetFor(colour);
  const Stamp& stamp = sheet.stamps[slot];
  if (stamp.source.isEmpty()) return;
  p.drawImage(QPointF(cellRight, cellTop) + stamp.offset, sheet.image, QRectF(stamp.source));
}

// Cells are half-open, so the right edge a right-aligned text ends at is cell.right.
void HexViewGlyphs::DrawHexPair(QPainter& p, QColor colour, std::uint8_t value, const CellRect& cell) {
  Draw(p, colour, value, cell.right, cell.top);
}

void HexViewGlyphs::DrawChar(QPainter& p, QColor colour, std::uint8_t value, const CellRect& cell) {
  Draw(p, colour, PairSlots + value, cell.right, cell.top);
}

// A fixed-pitch font: a right-aligned number is its digits side by side, one advance apart.
void HexViewGlyphs::DrawHexNumber(QPainter& p, QColor colour, std::uint32_t value, int digits,
                                  const CellRect& cell) {
  for (int k = 0; k < digits; ++k, value >>= 4)
    Draw(p, colour, PairSlots + CharSlots + static_cast<int>(value & 0xF), cell.right - k * digitAdvance_, cell.top);
}

}  // namespace zr7
