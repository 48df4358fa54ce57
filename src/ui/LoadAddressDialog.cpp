#include "ui/LoadAddressDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>

#include "text/MessageCatalog.h"
#include "present/DialogRules.h"
#include "ui/DialogUnits.h"

namespace zr7 {

namespace {

// Accepts everything and turns it to capitals as it is typed or pasted.
class UpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

}  // namespace

LoadAddressDialog::LoadAddressDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                     std::uint32_t address)
    : QDialog(parent), texts_(this), address_(address) {
  setWindowTitle(QStringLiteral("Load Address"));
  const DialogUnits du(font());
  setFixedSize(du.X(232), du.Y(66));

  auto* label = new QLabel(QStringLiteral("Address"), this);
  du.Place(label, 7, 9, 40, 8);
  edit_ = new QLineEdit(this);
  du.Place(edit_, 50, 7, 64, 12);
  edit_->setMaxLength(LoadAddressMaxChars);
  edit_->setValidator(new UpperCaseValidator(edit_));
  label->setBuddy(edit_);
  decimal_ = new QRadioButton(QStringLiteral("Decimal"), this);
  du.Place(decimal_, 7, 27, 110, 10);
  auto* hexadecimal = new QRadioButton(QStringLiteral("Hexadecimal"), this);
  du.Place(hexadecimal, 7, 43, 110, 10);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  du.Place(ok, 175, 7, 50, 14);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  du.Place(cancel, 175, 25, 50, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  const std::pair<int, QWidget*> controls[] = {{1131, label}, {1128, edit_},  {1129, decimal_},
                                               {1130, hexadecimal}, {1, ok}, {2, cancel}};
  for (auto [id, widget] : controls) {
    texts_.AddControl(id, widget);
    widget->setObjectName(QStringLiteral("id%1").arg(id));
  }
  texts_.Translate(dialog::LoadAddress, catalog, op);
  // The edit always offers the address in hexadecimal, so the radio buttons start saying so.
  edit_->setText(QString::fromStdString(LoadAddressText(address)));
  edit_->selectAll();
  hexadecimal->setChecked(true);
  edit_->setFocus();
}

void LoadAddressDialog::accept() {
  address_ = ParseLoadAddress(edit_->text().toStdString(), decimal_->isChecked());
  QDialog::accept();
}

std::optional<std::uint32_t> RunLoadAddressDialog(QWidget* parent, const MessageCatalog& catalog,
                                                  OperatorInterface& op, std::uint32_t proposed) {
  LoadAddressDialog dialog(parent, catalog, op, proposed);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Address();
}

}  // namespace zr7
