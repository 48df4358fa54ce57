#pragma once
// Dialog 149: the address at which a file is loaded, typed in decimal or hexadecimal.

#include <QDialog>
#include <cstdint>
#include <optional>

#include "ui/QtWindowTexts.h"

class QLineEdit;
class QRadioButton;

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

class LoadAddressDialog : public QDialog {
  Q_OBJECT

 public:
  // The edit offers `address` in hexadecimal, and Hexadecimal is checked.
  LoadAddressDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op, std::uint32_t address);

  // The address typed, valid once the dialog is accepted; until then the one given.
  std::uint32_t Address() const { return address_; }

  void accept() override;

 private:
  QtWindowTexts texts_;
  QLineEdit* edit_;
  QRadioButton* decimal_;
  std::uint32_t address_;
};

// The address on OK, nothing on Cancel.
std::optional<std::uint32_t> RunLoadAddressDialog(QWidget* parent, const MessageCatalog& catalog,
                                                  OperatorInterface& op, std::uint32_t proposed);

}  // namespace zr7
