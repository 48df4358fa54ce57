#include "ui/LanguageDialog.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "text/MessageCatalog.h"
#include "ui/DialogUnits.h"

namespace zr7 {

LanguageDialog::LanguageDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, bool russian)
    : QDialog(parent), texts_(this), russian_(russian) {
  setWindowTitle(QStringLiteral("Language"));
  const DialogUnits du(font());
  setFixedSize(du.X(172), du.Y(66));

  auto* group = new QGroupBox(QStringLiteral("Language"), this);
  du.Place(group, 7, 7, 100, 52);
  // The radio buttons sit in the frame, so their places are counted from its corner.
  english_ = new QRadioButton(QStringLiteral("English/Английский"), group);
  du.Place(english_, 8, 14, 88, 10);
  russianButton_ = new QRadioButton(QStringLiteral("Russian/Русский"), group);
  du.Place(russianButton_, 8, 32, 88, 10);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  du.Place(ok, 115, 7, 50, 14);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  du.Place(cancel, 115, 25, 50, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  const std::pair<int, QWidget*> controls[] = {{1104, group}, {1125, english_}, {1126, russianButton_}, {1, ok}, {2, cancel}};
  for (auto [id, widget] : controls) {
    texts_.AddControl(id, widget);
    widget->setObjectName(QStringLiteral("id%1").arg(id));
  }
  texts_.Translate(dialog::Language, catalog, op);
  (russian ? russianButton_ : english_)->setChecked(true);
}

void LanguageDialog::accept() {
  russian_ = russianButton_->isChecked();
  QDialog::accept();
}

std::optional<bool> RunLanguageDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                      bool russian) {
  LanguageDialog dialog(parent, catalog, op, russian);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Russian();
}

}  // namespace zr7
