#pragma once
// The program's icon, drawn rather than shipped: a chip with the board's name on it.

#include <QIcon>

namespace zr7 {

QIcon ApplicationIcon();

}  // namespace zr7
