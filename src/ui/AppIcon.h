#pragma once
// The program's icon, drawn rather than shipped: a chip with the board's name on it.

#include <QIcon>
#include <QPixmap>

namespace zr7 {

QIcon ApplicationIcon();
// One size of it, for the icon files the installation ships.
QPixmap ApplicationIconPixmap(int size);

}  // namespace zr7
