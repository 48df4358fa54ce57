#include "ui/ProjectSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <tuple>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "present/WindowRules.h"  // SckPeriodTexts
#include "devices/DeviceTable.h"
#include "project/Project.h"
#include "ui/DialogUnits.h"

namespace zr7 {

namespace c = settings_control;

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string S(const QString& text) { return text.toStdString(); }

struct Frame {
  int id;
  const char* text;
  int x, y, width, height;
};

// Frames first, so that they lie below the controls they hold.
constexpr Frame kFrames[] = {
    {1116, "Programming Settings", 7, 7, 156, 82},
    {1117, "SCK Settings", 7, 93, 156, 32},
    {1118, "Reset strobe length", 7, 129, 156, 34},
    {1125, "Delays overriring", 7, 167, 156, 72},
    {1119, "Autoprogram Settings", 169, 7, 184, 136},
    {1120, "General", 175, 18, 172, 26},
    {1121, "Flash", 175, 47, 172, 26},
    {1122, "Eeprom", 175, 76, 172, 26},
    {1123, "Lock and Fuse Bits", 175, 105, 172, 32},
    {1124, "Autoincrement", 169, 147, 184, 46},
};

constexpr int kWidthDu = 360;
constexpr int kHeightDu = 246;

}  // namespace

ProjectSettingsDialog::ProjectSettingsDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                             ProjectSettings& project, LockFuseEditor editor)
    : QDialog(parent), catalog_(catalog), op_(op), project_(project), editor_(std::move(editor)), texts_(this) {
  setWindowTitle(QStringLiteral("Project Settings"));
  const DialogUnits du(font());
  setFixedSize(du.X(kWidthDu), du.Y(kHeightDu));

  for (const Frame& f : kFrames) {
    auto* group = new QGroupBox(QString::fromLatin1(f.text), this);
    du.Place(group, f.x, f.y, f.width, f.height);
    group->setObjectName(QStringLiteral("id%1").arg(f.id));
    texts_.AddControl(f.id, group);
  }

  auto* deviceLabel = new QLabel(QStringLiteral("Device:"), this);
  du.Place(deviceLabel, 14, 21, 44, 8);
  deviceLabel->setObjectName(QStringLiteral("id1126"));
  texts_.AddControl(1126, deviceLabel);
  device_ = new QComboBox(this);
  du.Place(device_, 62, 19, 94, 12);
  device_->setObjectName(QStringLiteral("id%1").arg(c::Device));
  device_->setMaxVisibleItems(20);
  for (const DeviceRecord& d : DeviceTable()) device_->addItem(Q(d.Name));
  AddCheck(c::Polling, "Enable data polling", 14, 38, 142);
  AddCheck(c::CheckSign, "Auto check signature", 14, 52, 142);
  AddCheck(c::NoSynchronization, "Disable Synchronization", 14, 66, 142);

  auto* sckLabel = new QLabel(QStringLiteral("Clock SPI"), this);
  du.Place(sckLabel, 14, 107, 44, 8);
  sckLabel->setObjectName(QStringLiteral("id1146"));
  texts_.AddControl(1146, sckLabel);
  sck_ = new QComboBox(this);
  du.Place(sck_, 62, 105, 94, 12);
  sck_->setObjectName(QStringLiteral("id%1").arg(c::Sck));
  for (std::string_view text : SckPeriodTexts()) sck_->addItem(Q(text));

  reset_ = new QSlider(Qt::Horizontal, this);
  du.Place(reset_, 12, 142, 106, 14);
  reset_->setObjectName(QStringLiteral("id%1").arg(c::ResetSlider));
  reset_->setRange(0, ResetStrobePositions - 1);
  reset_->setSingleStep(ResetStrobeLineStep);
  reset_->setPageStep(ResetStrobePageStep);
  reset_->setTickPosition(QSlider::TicksBelow);
  reset_->setTickInterval(1);
  resetLabel_ = new QLabel(this);
  du.Place(resetLabel_, 122, 145, 38, 8);
  resetLabel_->setObjectName(QStringLiteral("id%1").arg(c::ResetLabel));

  struct DelayRow {
    int check;
    const char* text;
    int edit;
  };
  constexpr DelayRow kDelays[] = {{c::DelayByte, "Flash BYTE", c::DelayByteValue},
                                  {c::DelayPage, "Flash PAGE", c::DelayPageValue},
                                  {c::DelayByte2, "Eeprom BYTE", c::DelayByteValue2},
                                  {c::DelayPage2, "Eeprom PAGE", c::DelayPageValue2}};
  int y = 180;
  for (const DelayRow& row : kDelays) {
    AddCheck(row.check, row.text, 14, y, 86);
    AddEdit(row.edit, 104, y - 1, 40);
    y += 14;
  }

  AddCheck(c::Erase, "Erase Chip", 181, 29, 80);
  AddCheck(c::BlankCheck, "Blank Check", 266, 29, 76);
  int x = 181;
  for (auto [flash, eeprom, text] : {std::tuple{c::FlashReload, c::EepromReload, "Reload"},
                                     std::tuple{c::FlashProgram, c::EepromProgram, "Program"},
                                     std::tuple{c::FlashVerify, c::EepromVerify, "Verify"}}) {
    AddCheck(flash, text, x, 58, 54);
    AddCheck(eeprom, text, x, 87, 54);
    x += 55;
  }
  AddCheck(c::ProgramFuse, "Autoprogram", 181, 119, 96);
  auto* configure = new QPushButton(QStringLiteral("Configure..."), this);
  du.Place(configure, 281, 117, 60, 14);
  configure->setObjectName(QStringLiteral("id%1").arg(c::Configure));
  texts_.AddControl(c::Configure, configure);
  controls_[c::Configure] = configure;

  AddCheck(c::FlashIncrement, "Flash (HEX)", 175, 160, 80);
  AddEdit(c::FlashAddress, 277, 159, 64)->setMaxLength(AutoIncAddressMaxChars);
  AddCheck(c::EepromIncrement, "Eeprom (HEX)", 175, 176, 80);
  AddEdit(c::EepromAddress, 277, 175, 64)->setMaxLength(AutoIncAddressMaxChars);

  lockFuseNote_ = new QLabel(this);
  du.Place(lockFuseNote_, 169, 196, 184, 26);
  lockFuseNote_->setObjectName(QStringLiteral("lockFuseNote"));
  lockFuseNote_->setWordWrap(true);
  lockFuseNote_->setStyleSheet(QStringLiteral("color: #B00000;"));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  du.Place(ok, 248, 225, 50, 14);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  du.Place(cancel, 303, 225, 50, 14);
  for (auto [id, button] : {std::pair<int, QPushButton*>{c::Ok, ok}, {c::Cancel, cancel}}) {
    button->setObjectName(QStringLiteral("id%1").arg(id));
    texts_.AddControl(id, button);
  }

  texts_.Translate(dialog::ProjectSettings, catalog, op);

  const ProjectSettingsForm form = OpenProjectSettings(project_);
  lockFuse_ = form.lockFuse;
  lockFuseDevice_ = form.lockFuseDevice;
  const std::pair<int, bool> checks[] = {
      {c::Polling, form.polling},
      {c::CheckSign, form.checkSign},
      {c::NoSynchronization, form.noSynchronization},
      {c::Erase, form.autoErase},
      {c::BlankCheck, form.autoEmptyCheck},
      {c::FlashReload, form.autoFlashReload},
      {c::FlashProgram, form.autoFlashProgram},
      {c::FlashVerify, form.autoFlashVerify},
      {c::EepromReload, form.autoEepromReload},
      {c::EepromProgram, form.autoEepromProgram},
      {c::EepromVerify, form.autoEepromVerify},
      {c::ProgramFuse, form.programFuse},
      {c::FlashIncrement, form.autoIncrementFlash},
      {c::EepromIncrement, form.autoIncrement},
      {c::DelayByte, form.delayByte},
      {c::DelayPage, form.delayPage},
      {c::DelayByte2, form.delayByte2},
      {c::DelayPage2, form.delayPage2},
  };
  for (auto [id, on] : checks) checks_.at(id)->setChecked(on);
  const std::pair<int, const std::string*> texts[] = {
      {c::FlashAddress, &form.flashAddress},       {c::EepromAddress, &form.eepromAddress},
      {c::DelayByteValue, &form.delayByteValue},   {c::DelayPageValue, &form.delayPageValue},
      {c::DelayByteValue2, &form.delayByteValue2}, {c::DelayPageValue2, &form.delayPageValue2},
  };
  for (auto [id, text] : texts) edits_.at(id)->setText(Q(*text));
  resetLabel_->setText(Q(ResetStrobeText(form.resetPosition)));
  reset_->setValue(form.resetPosition);
  device_->setCurrentIndex(form.device);
  sck_->setCurrentIndex(form.sckPosition);
  UpdateEnabling();

  // valueChanged follows the drag too (the slider tracks), and every key and page step.
  connect(reset_, &QSlider::valueChanged, this,
          [this](int position) { resetLabel_->setText(Q(ResetStrobeText(position))); });
  connect(device_, &QComboBox::currentIndexChanged, this, [this] { UpdateEnabling(); });
  for (int id : {c::DelayByte, c::DelayPage, c::DelayByte2, c::DelayPage2, c::FlashIncrement, c::EepromIncrement})
    connect(checks_.at(id), &QCheckBox::clicked, this, [this] { UpdateEnabling(); });
  connect(checks_.at(c::ProgramFuse), &QCheckBox::clicked, this, &ProjectSettingsDialog::ProgramFuseClicked);
  connect(configure, &QPushButton::clicked, this, &ProjectSettingsDialog::ConfigureClicked);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QCheckBox* ProjectSettingsDialog::AddCheck(int id, const char* text, int x, int y, int width) {
  const DialogUnits du(font());
  auto* box = new QCheckBox(QString::fromLatin1(text), this);
  du.Place(box, x, y, width, 10);
  box->setObjectName(QStringLiteral("id%1").arg(id));
  texts_.AddControl(id, box);
  checks_[id] = box;
  controls_[id] = box;
  return box;
}

QLineEdit* ProjectSettingsDialog::AddEdit(int id, int x, int y, int width) {
  const DialogUnits du(font());
  auto* edit = new QLineEdit(this);
  du.Place(edit, x, y, width, 12);
  edit->setObjectName(QStringLiteral("id%1").arg(id));
  edits_[id] = edit;
  controls_[id] = edit;
  return edit;
}

int ProjectSettingsDialog::ChosenDevice() const { return device_->currentIndex(); }

ProjectSettingsForm ProjectSettingsDialog::Form() const {
  auto on = [this](int id) { return checks_.at(id)->isChecked(); };
  auto text = [this](int id) { return S(edits_.at(id)->text()); };
  ProjectSettingsForm f;
  f.device = device_->currentIndex();
  f.sckPosition = sck_->currentIndex();
  f.resetPosition = reset_->value();
  f.polling = on(c::Polling);
  f.checkSign = on(c::CheckSign);
  f.noSynchronization = on(c::NoSynchronization);
  f.autoErase = on(c::Erase);
  f.autoEmptyCheck = on(c::BlankCheck);
  f.autoFlashReload = on(c::FlashReload);
  f.autoFlashProgram = on(c::FlashProgram);
  f.autoFlashVerify = on(c::FlashVerify);
  f.autoEepromReload = on(c::EepromReload);
  f.autoEepromProgram = on(c::EepromProgram);
  f.autoEepromVerify = on(c::EepromVerify);
  f.programFuse = on(c::ProgramFuse);
  f.lockFuse = lockFuse_;
  f.lockFuseDevice = lockFuseDevice_;
  f.autoIncrementFlash = on(c::FlashIncrement);
  f.flashAddress = text(c::FlashAddress);
  f.autoIncrement = on(c::EepromIncrement);
  f.eepromAddress = text(c::EepromAddress);
  f.delayByte = on(c::DelayByte);
  f.delayByteValue = text(c::DelayByteValue);
  f.delayPage = on(c::DelayPage);
  f.delayPageValue = text(c::DelayPageValue);
  f.delayByte2 = on(c::DelayByte2);
  f.delayByteValue2 = text(c::DelayByteValue2);
  f.delayPage2 = on(c::DelayPage2);
  f.delayPageValue2 = text(c::DelayPageValue2);
  return f;
}

void ProjectSettingsDialog::UpdateEnabling() {
  const ProjectSettingsForm form = Form();
  for (const ControlEnabling& e : ProjectSettingsEnabling(form)) controls_.at(e.control)->setEnabled(e.enabled);
  lockFuseNote_->setText(Q(LockFuseMismatchNote(form, catalog_)));
}

bool ProjectSettingsDialog::RunEditor() {
  if (!editor_ || !editor_(ChosenDevice(), lockFuse_)) return false;
  // Confirmed in the editor for this chip: the settings are now this chip's.
  lockFuseDevice_ = ChosenDevice();
  UpdateEnabling();
  return true;
}

void ProjectSettingsDialog::ProgramFuseClicked() {
  UpdateEnabling();
  QCheckBox* box = checks_.at(c::ProgramFuse);
  if (!box->isChecked()) return;
  // Autoprogram never programs bits the operator did not confirm for this chip.
  if (!RunEditor()) {
    box->setChecked(false);
    UpdateEnabling();
  }
}

void ProjectSettingsDialog::ConfigureClicked() { RunEditor(); }

void ProjectSettingsDialog::accept() {
  const ProjectSettingsOk result = AcceptProjectSettings(Form(), catalog_, project_);
  if (result.refusal) {
    op_.ShowBox(result.refusal->box);
    if (QLineEdit* edit = edits_.at(result.refusal->control)) {
      // A Flash delay is checked while its box is off too; it must then be reachable to be
      // mended. The next enabling update (any of its clicks) takes it back.
      edit->setEnabled(true);
      edit->setFocus(Qt::OtherFocusReason);
      edit->selectAll();
    }
    return;
  }
  QDialog::accept();
}

std::optional<int> RunProjectSettingsDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                                            Project& project, LockFuseEditor editor) {
  ProjectSettingsDialog dialog(parent, catalog, op, project.settings(), std::move(editor));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.ChosenDevice();
}

}  // namespace zr7
