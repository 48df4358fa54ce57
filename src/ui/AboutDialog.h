#pragma once
// Dialog 132: the product, its version and platforms, who makes it, and links to the source,
// the maker's mail and the latest release.

#include <QDialog>

#include "ui/QtWindowTexts.h"

namespace zr7 {

class CHyperLink;
class MessageCatalog;
class OperatorInterface;
class UrlOpener;

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  // Links open through `opener`; a failure is reported through `op`.
  AboutDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, UrlOpener& opener);

 private:
  QtWindowTexts texts_;
};

// The About command (16): shows the box until it is closed.
void RunAboutDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, UrlOpener& opener);

}  // namespace zr7
