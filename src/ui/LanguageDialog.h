#pragma once
// Dialog 148: English or Russian for the whole user interface.

#include <QDialog>
#include <optional>

#include "ui/QtWindowTexts.h"

class QRadioButton;

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

class LanguageDialog : public QDialog {
  Q_OBJECT

 public:
  LanguageDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, bool russian);

  // The choice, valid once the dialog is accepted.
  bool Russian() const { return russian_; }

  void accept() override;

 private:
  QtWindowTexts texts_;
  QRadioButton* english_;
  QRadioButton* russianButton_;
  bool russian_;
};

// The choice on OK, nothing on Cancel.
std::optional<bool> RunLanguageDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                      bool russian);

}  // namespace zr7
