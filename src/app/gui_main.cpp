// zr7: the desktop front-end of the ZR7 programmer.

#include <QApplication>

#include "ui/AppIcon.h"

#include "app/ProgrammerApp.h"
#include "project/Profile.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zr7"));
  QApplication::setWindowIcon(zr7::ApplicationIcon());
  std::vector<std::string> arguments;
  const QStringList words = QApplication::arguments();  // the toolkit's own options removed
  for (qsizetype i = 1; i < words.size(); ++i) arguments.push_back(words[i].toStdString());
  return zr7::ProgrammerApp().Run(arguments, zr7::DefaultProfilePath());
}
