#include "ui/LockFuseDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <utility>
#include <vector>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseCommands.h"
#include "lockfuse/LockFuseLayout.h"
#include "lockfuse/LockFuseRules.h"
#include "ui/DialogUnits.h"

namespace zr7 {

namespace {

// Control ids of template 140, in the order of the bits they show.
constexpr int kLockGroup = 1114;
constexpr int kFuseGroup = 1115;
constexpr int kBootLockLabel = 1134;
constexpr int kPressedNote = 1138;
constexpr int kProgram = 1132;
constexpr int kRead = 3;
constexpr int kVerify = 4;
constexpr int kChipErase = 5;
constexpr int kClose = 2;
constexpr std::array<int, LockModeCount> kLockIds = {1086, 1087, 1088, 1089};
constexpr std::array<int, BootLockBoxCount> kBootIds = {1092, 1103, 1093, 1094};
constexpr std::array<int, FuseButtonCount> kFuseIds = {1091, 1095, 1096, 1097, 1098, 1099, 1100, 1101,
                                                       1110, 1111, 1112, 1113, 1117, 1118, 1119, 1120,
                                                       1102, 1121, 1104, 1122, 1107, 1108, 1109, 1116};
constexpr int kFuseRows = 8;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

const DeviceRecord& DeviceOf(int deviceNumber) {
  const DeviceRecord* device = DeviceAt(deviceNumber);
  // Callers pass the window's current device, which is always in the table.
  return device ? *device : DeviceTable().front();
}

}  // namespace

LockFuseDialog::LockFuseDialog(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                               LockFuseCommands& commands, const ChipJob& job, int deviceNumber,
                               const LockFuseState& state, bool autoprogram, ChipEraser erase)
    : QDialog(parent),
      catalog_(catalog),
      op_(op),
      commands_(commands),
      job_(job),
      deviceNumber_(deviceNumber),
      device_(DeviceOf(deviceNumber)),
      autoprogram_(autoprogram),
      erase_(std::move(erase)),
      saved_(state),
      edit_(state),
      texts_(this) {
  job_.connect.deviceNumber = deviceNumber_;
  const DialogUnits du(font());
  setFixedSize(du.X(330), du.Y(186));

  auto* lockGroup = new QGroupBox(QStringLiteral("Lock Bits"), this);
  du.Place(lockGroup, 7, 7, 100, 64);
  for (std::size_t i = 0; i < LockModeCount; ++i) {
    lockButtons_[i] = new QRadioButton(lockGroup);
    du.Place(lockButtons_[i], 8, 12 + 12 * static_cast<int>(i), 88, 10);
  }

  auto* bootLabel = new QLabel(QStringLiteral("Boot Lock Bits"), this);
  du.Place(bootLabel, 9, 78, 96, 8);
  for (std::size_t i = 0; i < BootLockBoxCount; ++i) {
    bootBoxes_[i] = new QCheckBox(this);
    du.Place(bootBoxes_[i], 12, 89 + 12 * static_cast<int>(i), 92, 10);
  }

  auto* fuseGroup = new QGroupBox(QStringLiteral("Fuse Bits"), this);
  du.Place(fuseGroup, 114, 7, 209, 131);
  for (std::size_t i = 0; i < FuseButtonCount; ++i) {
    auto* b = new QPushButton(fuseGroup);
    b->setCheckable(true);
    // Enter on a focused bit must not toggle it, nor press a default button behind it.
    b->setAutoDefault(false);
    const int column = static_cast<int>(i) / kFuseRows;
    const int row = static_cast<int>(i) % kFuseRows;
    du.Place(b, 8 + 67 * column, 12 + 13 * row, 62, 12);
    fuseButtons_[i] = b;
  }
  auto* note = new QLabel(QStringLiteral("A button is pressed if the fuse bit is programmed"), fuseGroup);
  du.Place(note, 8, 118, 195, 8);

  auto makeButton = [&](const char* text, int x, int y, int width = 74) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setAutoDefault(false);
    du.Place(b, x, y, width, 14);
    return b;
  };
  QPushButton* program = makeButton("Program", 7, 145);
  read_ = makeButton("Read", 88, 145);
  verify_ = makeButton("Verify", 169, 145);
  QPushButton* chipErase = makeButton("Chip Erase", 249, 145);
  QPushButton* save = makeButton("Close and save settings", 7, 165, 155);
  QPushButton* close = makeButton("Close without saving", 168, 165, 155);

  connect(program, &QPushButton::clicked, this, &LockFuseDialog::ProgramClicked);
  connect(read_, &QPushButton::clicked, this, &LockFuseDialog::ReadClicked);
  connect(verify_, &QPushButton::clicked, this, &LockFuseDialog::VerifyClicked);
  connect(chipErase, &QPushButton::clicked, this, &LockFuseDialog::ChipEraseClicked);
  connect(save, &QPushButton::clicked, this, &LockFuseDialog::accept);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  std::vector<std::pair<int, QWidget*>> controls = {
      {kLockGroup, lockGroup}, {kFuseGroup, fuseGroup}, {kBootLockLabel, bootLabel}, {kPressedNote, note},
      {kProgram, program},     {kRead, read_},          {kVerify, verify_},         {kChipErase, chipErase},
      {LockFuseSaveSettings, save}, {kClose, close}};
  for (std::size_t i = 0; i < LockModeCount; ++i) controls.emplace_back(kLockIds[i], lockButtons_[i]);
  for (std::size_t i = 0; i < BootLockBoxCount; ++i) controls.emplace_back(kBootIds[i], bootBoxes_[i]);
  for (std::size_t i = 0; i < FuseButtonCount; ++i) controls.emplace_back(kFuseIds[i], fuseButtons_[i]);
  for (auto [id, widget] : controls) {
    texts_.AddControl(id, widget);
    widget->setObjectName(QStringLiteral("id%1").arg(id));
  }
  texts_.Translate(dialog::LockFuse, catalog_, op_);
  // The text table's title is empty: the mode decides it.
  setWindowTitle(Q(catalog_.GetText(autoprogram_ ? msg::LockFuseAutoprogramTitle : msg::LockFuseTitle)));
  // The tool changes the chip only, the editor the project only.
  (autoprogram_ ? chipErase : save)->setEnabled(false);
  if (!erase_) chipErase->setEnabled(false);
  Refresh();
}

void LockFuseDialog::Refresh() {
  const LockFusePanel panel = RefreshPanel(catalog_, device_, saved_);
  for (std::size_t i = 0; i < LockModeCount; ++i) {
    // Radio buttons keep one checked: exclusivity off while the check is set anew.
    lockButtons_[i]->setAutoExclusive(false);
    lockButtons_[i]->setChecked(false);
    lockButtons_[i]->setText(Q(panel.lockLabels[i]));
    lockButtons_[i]->setEnabled(panel.lockEnabled[i]);
  }
  for (std::size_t i = 0; i < LockModeCount; ++i) {
    lockButtons_[i]->setChecked(static_cast<int>(i) == panel.lockChecked);
    lockButtons_[i]->setAutoExclusive(true);
  }
  for (std::size_t i = 0; i < FuseButtonCount; ++i) {
    fuseButtons_[i]->setText(Q(panel.fuseLabels[i]));
    fuseButtons_[i]->setEnabled(panel.fuseEnabled[i]);
    fuseButtons_[i]->setChecked(panel.fusePressed[i]);
  }
  for (std::size_t i = 0; i < BootLockBoxCount; ++i) {
    bootBoxes_[i]->setText(Q(panel.bootLabels[i]));
    bootBoxes_[i]->setEnabled(panel.bootEnabled[i]);
    bootBoxes_[i]->setChecked(panel.bootChecked[i]);
  }
  read_->setEnabled(panel.readVerifyEnabled);
  verify_->setEnabled(panel.readVerifyEnabled);
}

bool LockFuseDialog::Exchange(bool check) {
  LockFusePanel panel;
  for (std::size_t i = 0; i < LockModeCount; ++i)
    if (panel.lockChecked < 0 && lockButtons_[i]->isChecked()) panel.lockChecked = static_cast<int>(i);
  for (std::size_t i = 0; i < FuseButtonCount; ++i) panel.fusePressed[i] = fuseButtons_[i]->isChecked();
  for (std::size_t i = 0; i < BootLockBoxCount; ++i) panel.bootChecked[i] = bootBoxes_[i]->isChecked();
  LockFuseState taken = edit_;
  ExchangePanel(panel, taken);
  // A declined warning leaves edit_ as it was.
  if (check && !ConfirmFuses(op_, catalog_, LayoutOf(device_), taken)) return false;
  edit_ = taken;
  return true;
}

bool LockFuseDialog::ReadChip() {
  // A failed read clears its state; the dialog keeps what it had.
  LockFuseState read;
  if (!commands_.Read(job_, deviceNumber_, read)) return false;
  edit_ = read;
  saved_ = read;
  Refresh();
  return true;
}

void LockFuseDialog::ProgramClicked() {
  if (!Exchange(true)) return;
  if (!commands_.Program(job_, deviceNumber_, edit_, true)) return;
  saved_ = SavedAfterProgram(device_, edit_);
  Refresh();
}

void LockFuseDialog::ReadClicked() { ReadChip(); }

void LockFuseDialog::VerifyClicked() {
  Exchange(false);
  commands_.Verify(job_, deviceNumber_, edit_);
}

void LockFuseDialog::ChipEraseClicked() {
  if (!erase_) return;
  ChipJob job = job_;
  if (!erase_(job)) return;
  ReadChip();
}

void LockFuseDialog::accept() {
  if (!Exchange(true)) return;
  done(LockFuseSaveSettings);
}

void OpenLockFuseTool(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                      LockFuseCommands& commands, const ChipJob& job, int deviceNumber, ChipEraser erase) {
  // Read itself says so when no board is chosen.
  LockFuseState state;
  if (!commands.Read(job, deviceNumber, state)) return;
  LockFuseDialog dialog(parent, catalog, op, commands, job, deviceNumber, state, false, std::move(erase));
  dialog.exec();
}

bool EditAutoprogramLockFuse(QWidget* parent, const MessageCatalog& catalog, OperatorInterface& op,
                             LockFuseCommands& commands, const ChipJob& job, int chosenDevice, int currentDevice,
                             LockFuseState& settings) {
  if (!PrepareAutoprogramEdit(op, catalog, chosenDevice, currentDevice, settings)) return false;
  LockFuseDialog dialog(parent, catalog, op, commands, job, currentDevice, settings, true);
  if (dialog.exec() != LockFuseSaveSettings) return false;
  settings = dialog.Edit();
  return true;
}

}  // namespace zr7
