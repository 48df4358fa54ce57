#include "ui/DialogUnits.h"

#include <QFontMetricsF>
#include <cmath>

namespace zr7 {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetricsF m(font);
  // The average width over the alphabet, as dialog templates measure it.
  charWidth_ = m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
  charHeight_ = m.height();
}

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * charWidth_ / 4.0)); }
int DialogUnits::Y(int units) const { return static_cast<int>(std::lround(units * charHeight_ / 8.0)); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

void DialogUnits::Place(QWidget* child, int x, int y, int width, int height) const {
  child->setGeometry(Rect(x, y, width, height));
}

}  // namespace zr7
