#pragma once
// Dialog 150, "Self-Program Settings": the board's current and offered firmware versions, the
// transfer speed, the image file and the loader's confirmation sequence. It only asks; the
// update itself is UpdateFirmware's.

#include <QDialog>
#include <optional>
#include <string>

#include "link/FirmwareUpdate.h"
#include "ui/QtWindowTexts.h"

class QLineEdit;
class QRadioButton;

namespace zr7 {

class MessageCatalog;
class OperatorInterface;

// What UpdateFirmware takes from the operator besides the port.
struct SelfProgramChoice {
  std::string imagePath;
  std::optional<LoaderConfirmation> confirmation;  // none when the field is left empty
  std::string confirmationText;                    // as typed, to offer it again
  FirmwareSpeed speed = FirmwareSpeed::Normal;
  bool operator==(const SelfProgramChoice&) const = default;
};

class SelfProgramDialog : public QDialog {
  Q_OBJECT

 public:
  // `initial` fills the file and confirmation fields; the speed always starts at normal.
  SelfProgramDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                    const FirmwareVersions& versions, const SelfProgramChoice& initial);

  // Valid once accepted.
  const SelfProgramChoice& Choice() const { return choice_; }

  void BrowseClicked();
  // Stays open on an empty file field or a confirmation that is not 16 hex digits.
  void accept() override;

 private:
  const MessageCatalog& catalog_;
  OperatorInterface& op_;
  QtWindowTexts texts_;
  QRadioButton* normal_ = nullptr;
  QRadioButton* reduced_ = nullptr;
  QLineEdit* image_ = nullptr;
  QLineEdit* confirmation_ = nullptr;
  SelfProgramChoice choice_;
};

// The choice on Update, nothing on Cancel.
std::optional<SelfProgramChoice> RunSelfProgramDialog(QWidget* parent, const MessageCatalog& catalog,
                                                      OperatorInterface& op, const FirmwareVersions& versions,
                                                      const SelfProgramChoice& initial);

}  // namespace zr7
