// zr7-icons DIR: writes the program's icon as DIR/SIZExSIZE/apps/zr7.png for the installation,
// drawn by the same code as the window's icon so the two cannot drift apart.

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/AppIcon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zr7-icons DIR\n");
    return 2;
  }
  // Run at build time, where there may be no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(dir) || !zr7::ApplicationIconPixmap(size).save(dir + QStringLiteral("/zr7.png"), "PNG")) {
      std::fprintf(stderr, "zr7-icons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
