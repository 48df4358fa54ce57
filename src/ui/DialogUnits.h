#pragma once
// Dialog layouts are given in dialog units: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height. Converting with the
// window font's metrics gives every dialog the proportions it was designed with.

#include <QFont>
#include <QRect>
#include <QWidget>

namespace zr7 {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int units) const;
  int Y(int units) const;
  QRect Rect(int x, int y, int width, int height) const;
  // Places a child at a rectangle given in dialog units.
  void Place(QWidget* child, int x, int y, int width, int height) const;

 private:
  double charWidth_;
  double charHeight_;
};

}  // namespace zr7
