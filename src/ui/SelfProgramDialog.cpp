#include "ui/SelfProgramDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "ui/DialogUnits.h"

namespace zr7 {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(const char* text) { return QString::fromUtf8(text); }

template <typename W>
W* Named(W* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

SelfProgramDialog::SelfProgramDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                     const FirmwareVersions& versions, const SelfProgramChoice& initial)
    : QDialog(parent), catalog_(catalog), op_(op), texts_(this), choice_(initial) {
  setWindowTitle(QStringLiteral("Self-Program Settings"));
  const DialogUnits du(font());
  setFixedSize(du.X(250), du.Y(160));

  auto* group = Named(new QGroupBox(QStringLiteral("Settings"), this), QStringLiteral("id1153"));
  du.Place(group, 7, 7, 236, 70);
  texts_.AddControl(1153, group);
  auto* currentLabel = Named(new QLabel(QStringLiteral("Current version"), group), QStringLiteral("id1154"));
  du.Place(currentLabel, 8, 14, 70, 8);
  auto* current = Named(new QLineEdit(group), QStringLiteral("id1155"));
  du.Place(current, 82, 12, 80, 12);
  auto* offeredLabel = Named(new QLabel(QStringLiteral("New version"), group), QStringLiteral("id1156"));
  du.Place(offeredLabel, 8, 30, 70, 8);
  auto* offered = Named(new QLineEdit(group), QStringLiteral("id1157"));
  du.Place(offered, 82, 28, 80, 12);
  for (QLineEdit* field : {current, offered}) field->setReadOnly(true);
  normal_ = Named(new QRadioButton(QStringLiteral("Program at normal speed"), group), QStringLiteral("id1158"));
  du.Place(normal_, 8, 44, 150, 10);
  reduced_ = Named(new QRadioButton(QStringLiteral("Program at reduced speed"), group), QStringLiteral("id1159"));
  du.Place(reduced_, 8, 56, 150, 10);
  texts_.AddControl(1154, currentLabel);
  texts_.AddControl(1155, current);
  texts_.AddControl(1156, offeredLabel);
  texts_.AddControl(1157, offered);
  texts_.AddControl(1158, normal_);
  texts_.AddControl(1159, reduced_);

  // The image and the sequence belong to the board's own distribution, not to this program.
  auto* imageLabel = Named(new QLabel(Q(catalog.GetText(msg::FirmwareImageLabel)), this), QStringLiteral("imageLabel"));
  du.Place(imageLabel, 7, 82, 236, 8);
  image_ = Named(new QLineEdit(Q(initial.imagePath), this), QStringLiteral("imagePath"));
  du.Place(image_, 7, 92, 180, 12);
  auto* browse = Named(new QPushButton(Q(catalog.GetText(msg::FirmwareBrowse)), this), QStringLiteral("browse"));
  du.Place(browse, 191, 91, 52, 14);
  auto* confirmationLabel = Named(new QLabel(Q(catalog.GetText(msg::FirmwareConfirmationLabel)), this),
                                  QStringLiteral("confirmationLabel"));
  du.Place(confirmationLabel, 7, 108, 236, 8);
  confirmation_ = Named(new QLineEdit(Q(initial.confirmationText), this), QStringLiteral("confirmation"));
  du.Place(confirmation_, 7, 118, 110, 12);
  confirmation_->setMaxLength(16);

  auto* update = Named(new QPushButton(QStringLiteral("Update"), this), QStringLiteral("id1"));
  du.Place(update, 138, 140, 50, 14);
  update->setDefault(true);
  auto* cancel = Named(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("id2"));
  du.Place(cancel, 193, 140, 50, 14);
  texts_.AddControl(1, update);
  texts_.AddControl(2, cancel);
  connect(update, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, &SelfProgramDialog::BrowseClicked);

  texts_.Translate(dialog::SelfProgram, catalog, op);
  // The table's later rows blank both fields with "-", so the versions go in afterwards.
  current->setText(Q(versions.current));
  offered->setText(Q(versions.offered));
  normal_->setChecked(true);
}

void SelfProgramDialog::BrowseClicked() {
  FileRequest request;
  request.title = catalog_.GetText(msg::FirmwareImageLabel);
  request.filter = catalog_.GetText(msg::FirmwareFileFilter);
  request.initialPath = image_->text().toStdString();
  request.defaultExtension = "bin";
  if (auto path = op_.ChooseFileToOpen(request)) image_->setText(Q(*path));
}

void SelfProgramDialog::accept() {
  const std::string path = image_->text().trimmed().toStdString();
  // A file that will not do is named now, while the operator can still pick another.
  std::vector<std::uint8_t> image;
  if (path.empty() || !LoadFirmwareImage(op_, catalog_, path, image)) {
    image_->setFocus();
    return;
  }
  const std::string hex = confirmation_->text().trimmed().toStdString();
  std::optional<LoaderConfirmation> sequence;
  if (!hex.empty()) {
    sequence = ParseConfirmation(hex);
    if (!sequence) {
      ShowInfo(op_, catalog_, FormatText(catalog_.GetText(msg::FirmwareBadConfirmation), hex.c_str()));
      confirmation_->setFocus();
      return;
    }
  }
  choice_.imagePath = path;
  choice_.confirmation = sequence;
  choice_.confirmationText = hex;
  choice_.speed = reduced_->isChecked() ? FirmwareSpeed::Reduced : FirmwareSpeed::Normal;
  QDialog::accept();
}

std::optional<SelfProgramChoice> RunSelfProgramDialog(QWidget* parent, const MessageCatalog& catalog,
                                                      OperatorInterface& op, const FirmwareVersions& versions,
                                                      const SelfProgramChoice& initial) {
  SelfProgramDialog dialog(parent, catalog, op, versions, initial);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Choice();
}

}  // namespace zr7
