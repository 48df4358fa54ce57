#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>

#include "text/CatalogTables.h"
#include "ui/MainWindowDialogs.h"
#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "buffers/BufferCommands.h"
#include "devices/DeviceTable.h"
#include "link/BoardManagement.h"
#include "link/FirmwareUpdate.h"
#include "lockfuse/LockFuseCommands.h"
#include "ui/LockFuseDialog.h"
#include "link/Clock.h"
#include "operations/Autoprogram.h"
#include "ui/ProjectSettingsDialog.h"
#include "present/ProjectSettingsRules.h"
#include "ui/AboutDialog.h"
#include "ui/UrlOpener.h"
#include "util/DataFiles.h"
#include "present/DialogRules.h"
#include "ui/DialogUnits.h"
#include "ui/HexView.h"

namespace zr7 {

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The file-name label above a view is a clipped, sunken one-liner.
QLabel* MakeSunkenLabel(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  l->setTextFormat(Qt::PlainText);
  return l;
}

}  // namespace

ImageView MakeImageView(QWidget* parent, MemoryBuffer& buffer) {
  auto* v = new HexView(parent, buffer);
  return {v, v, [v](bool swap) { v->SetSwapBytePairs(swap); }};
}

class MainWindow::Label : public BufferLabel {
 public:
  explicit Label(QLabel* label) : label_(label) {}
  void SetText(std::string_view text) override {
    if (label_) label_->setText(Q(text));
  }

 private:
  QPointer<QLabel> label_;
};

MainWindow::MainWindow(const MainWindowContext& c)
    : language_(c.language),
      catalog_(c.catalog),
      op_(c.op),
      profile_(c.profile),
      dialogs_(c.dialogs),
      simulatorPath_(c.simulatorPath),
      ports_(PortMapOf(c.profile)),
      comPort_(ports_),
      link_(comPort_, c.op, c.catalog),
      project_(c.op, c.catalog),
      recent_(c.profile),
      projectCommands_(project_, c.profile, recent_, c.op, c.catalog),
      chip_(link_, flash_, eeprom_, results_, this),
      texts_(this) {
  if (!simulatorPath_.empty()) {
    ports_.Set(0, simulatorPath_);
    comPort_.SetPortMap(ports_);
  }
  op_.SetOwner(this);
  client_ = new QWidget(this);
  setCentralWidget(client_);
  client_->installEventFilter(this);
  BuildControls();
  BuildMenu();
  op_.SetStatusLabel(qobject_cast<QLabel*>(Control(control::StatusLine)));
  flashLabel_ = std::make_unique<Label>(qobject_cast<QLabel*>(Control(control::FlashLabel)));
  eepromLabel_ = std::make_unique<Label>(qobject_cast<QLabel*>(Control(control::EepromLabel)));

  // Width fixed, height may only grow (the anchors then stretch the Flash area).
  const DialogUnits du(client_->font());
  const int width = du.X(MainWindowWidthDu);
  const int height = du.Y(MainWindowHeightDu) + menuBar()->sizeHint().height();
  setFixedWidth(width);
  setMinimumHeight(height);
  resize(width, height);
  controlsReady_ = true;
}

MainWindow::~MainWindow() {
  if (!initialised_) return;
  controlsReady_ = false;  // nothing refreshes the title any more
  WriteBoardToProfile();
  flash_.Detach();
  eeprom_.Detach();
  recent_.SaveRecentList();
  op_.SetStatusLabel(nullptr);
  op_.SetOwner(nullptr);
}

void MainWindow::WriteBoardToProfile() {
  if (StorePort(board_)) profile_.SetComPort(board_.port);
  profile_.SetHighSpeed(board_.highSpeed);
  profile_.SetRussian(language_.RussianSelected);
}

void MainWindow::BuildControls() {
  const DialogUnits du(client_->font());
  for (const ControlSpec& entry : MainWindowControls()) {
    QWidget* w = nullptr;
    const QString text = Q(entry.text);
    switch (entry.kind) {
      case ControlKind::GroupFrame:
        w = new QGroupBox(text, client_);
        break;
      case ControlKind::SunkenLabel:
        w = MakeSunkenLabel(client_);
        break;
      case ControlKind::StatusLine: {
        QLabel* l = MakeSunkenLabel(client_);
        l->setText(text);
        l->setAlignment(Qt::AlignCenter);
        l->installEventFilter(this);  // a click opens Project Settings
        w = l;
        break;
      }
      case ControlKind::Toggle:
      case ControlKind::Button: {
        auto* b = new QPushButton(text, client_);
        b->setAutoDefault(false);  // Enter presses nothing in this window
        b->setCheckable(entry.kind == ControlKind::Toggle);
        const int id = entry.id;
        connect(b, &QPushButton::clicked, this, [this, id] { Command(id); });
        w = b;
        break;
      }
      case ControlKind::HiddenFrame:
        w = new QFrame(client_);
        w->hide();
        break;
      case ControlKind::DropList: {
        auto* combo = new QComboBox(client_);
        const int id = entry.id;
        // `activated` is the operator's choice only, as a selection-change notification is.
        connect(combo, &QComboBox::activated, this, [this, id] { Command(id, CodeSelectionChange); });
        w = combo;
        break;
      }
    }
    // A drop-down's height in the layout is its open list; the closed box is one line.
    const int height = entry.kind == ControlKind::DropList ? 12 : entry.height;
    du.Place(w, entry.x, entry.y, entry.width, height);
    w->setObjectName(QStringLiteral("control%1").arg(entry.id));
    controls_[entry.id] = w;
    texts_.AddControl(entry.id, w);
  }
  for (const Anchor& a : MainWindowAnchors()) anchors_.AddAnchor(a.controlId, a.flags);
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->clear();
  actions_.clear();
  popups_.clear();
  for (const MenuPopupSpec& entry : MainWindowMenu()) {
    QMenu* popup = bar->addMenu(Q(entry.title));
    popups_.push_back(popup);
    for (int id : entry.items) {
      if (id == MenuSeparator) {
        popup->addSeparator();
        continue;
      }
      QAction* a = popup->addAction(Q(BuiltMenuText(id)));
      SetCommandId(a, id);
      actions_[id] = a;
      const Route route = RouteCommand(id, CodeClicked);
      // Commands that later work brings are shown, greyed, so nothing pretends to work.
      a->setEnabled(!MenuItemBuiltDisabled(id) && CommandConnected(route.command));
      connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    }
  }
  recentPlaceholder_ = actions_[RecentPlaceholderCommand];
  texts_.SetMenuBar(bar);
}

void MainWindow::Translate() { texts_.Translate(dialog::MainWindow, catalog_, op_); }

QWidget* MainWindow::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.data();
}

QComboBox* MainWindow::Combo(int id) const { return qobject_cast<QComboBox*>(Control(id)); }
QPushButton* MainWindow::Button(int id) const { return qobject_cast<QPushButton*>(Control(id)); }

QAction* MainWindow::MenuAction(int commandId) const {
  for (QAction* a : recentActions_)
    if (CommandIdOf(a) == commandId) return a;
  auto it = actions_.find(commandId);
  return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::Popup(int position) const {
  return position >= 0 && static_cast<std::size_t>(position) < popups_.size() ? popups_[static_cast<std::size_t>(position)]
                                                                              : nullptr;
}

QString MainWindow::StatusText() const {
  auto* l = qobject_cast<QLabel*>(Control(control::StatusLine));
  return l ? l->text() : QString();
}

void MainWindow::Initialise(const std::vector<std::string>& arguments) {
  op_.SetStatus(catalog_.GetText(msg::ProductTitle));
  recent_.LoadRecentList();
  RebuildRecentMenu();

  language_.RussianSelected = profile_.Russian();
  delays_ = profile_.Delays();
  board_ = StartupBoard(profile_.ComPort(), profile_.HighSpeed(), !simulatorPath_.empty());
  if (AskBoardAtStartup(board_)) {
    // Before the window is shown, preset to no port and normal speed.
    if (auto choice = dialogs_.BoardSettings(this, catalog_, op_, 0, false, ports_)) {
      board_.port = choice->port;
      board_.highSpeed = choice->highSpeed;
      for (int i = 0; i < PortCount; ++i)
        if (choice->ports.PathFor(i) != ports_.PathFor(i)) profile_.SetPortPath(i, choice->ports.PathFor(i));
      ports_ = choice->ports;
      comPort_.SetPortMap(ports_);
    }
  }
  WriteBoardToProfile();

  project_.Attach(this, flash_, eeprom_);
  setWindowIcon(QApplication::windowIcon());
  flash_.Init(op_, catalog_, false, flashLabel_.get(), &project_, this);
  eeprom_.Init(op_, catalog_, true, eepromLabel_.get(), &project_, this);
  flash_.Clear();
  eeprom_.Clear();

  flashView_ = MakeImageView(client_, flash_);
  flashView_.widget->setObjectName(QStringLiteral("Preview Flash"));
  flash_.AttachView(flashView_.view);
  eepromView_ = MakeImageView(client_, eeprom_);
  eepromView_.widget->setObjectName(QStringLiteral("Preview Eeprom"));
  eeprom_.AttachView(eepromView_.view);
  flashView_.widget->show();
  eepromView_.widget->show();
  LayoutHexViews();

  FillDeviceCombos();

  const CommandLine line = ParseCommandLine(CommandLineOf("zr7", arguments));
  const StartupProject start = ChooseStartupProject(profile_.LoadMostRecent(), profile_.RecentProject(1), line);
  if (start.name != Unspecified) {
    // Only a project that opens goes first in the list: a relative entry from an older profile,
    // started from elsewhere, must not turn into a wrong absolute one.
    if (project_.Load(start.name)) {
      recent_.AddToRecent(start.name);
      RebuildRecentMenu();
    }
    autoprogramRequested_ = start.autoprogram;
  }

  FillSckCombo();
  SelectSckPeriod(project_.settings().spiPeriod);
  setAcceptDrops(true);
  Translate();
  initialised_ = true;
  SelectDevice(project_.settings().deviceNo);

  if (autoprogramRequested_) {
    // Before the window is shown: only the operations' dialogs and the verdict appear.
    outcome_.AutoprogramSucceeded = false;
    AutoprogramCommand(true);
    ShowNotice(op_, catalog_, catalog_.GetText(outcome_.AutoprogramSucceeded ? msg::AutoprogramOk : msg::AutoprogramError));
  }
}

void MainWindow::AutoprogramCommand(bool unattended) {
  LockFuseCommands lockFuse(link_);
  Autoprogram run(chip_, flash_, eeprom_, project_, lockFuse, DefaultClock());
  ChipJob job = Job();
  run.Run(job, unattended, outcome_);
}

void MainWindow::LayoutHexViews() {
  if (flashView_.widget) flashView_.widget->setGeometry(Control(control::FlashView)->geometry());
  if (eepromView_.widget) eepromView_.widget->setGeometry(Control(control::EepromView)->geometry());
}

void MainWindow::OnClientResized() {
  const auto change = anchors_.OnSize(client_->width(), client_->height());
  if (change) {
    for (std::uint32_t word : anchors_.Words()) {
      QWidget* w = Control(static_cast<int>(word & 0xFFFFu));
      if (!w) continue;
      const QRect g = w->geometry();
      const EdgeRect moved =
          ApplyAnchor({g.left(), g.top(), g.right() + 1, g.bottom() + 1}, word >> 16, change->dx, change->dy);
      w->setGeometry(moved.left, moved.top, moved.right - moved.left, moved.bottom - moved.top);
    }
  }
  LayoutHexViews();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_) {
    if (event->type() == QEvent::Resize) {
      OnClientResized();
    } else if (event->type() == QEvent::MouseButtonDblClick) {
      // The window's own client area, not a control on it.
      if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        Command(command::AdvancedBoardSettings);
        return true;
      }
    }
  } else if (watched == Control(control::StatusLine) && event->type() == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Command(control::StatusLine);
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- Title, enabling, device selection ----

void MainWindow::RefreshControls() {
  if (!controlsReady_ || !initialised_) return;
  setWindowTitle(Q(WindowTitle(project_.path(), project_.modified(), catalog_.GetText(msg::ProductTitle))));
  const DeviceRecord* device = DeviceAt(CurrentDeviceIndex());
  if (!device) return;
  ApplyEnabling(ComputeControlStates(*device, !flash_.empty(), !eeprom_.empty()));
}

void MainWindow::ApplyEnabling(const ControlStates& s) {
  auto enable = [this](int id, bool on) {
    const bool connected = CommandConnected(RouteCommand(id, CodeClicked).command);
    if (QWidget* w = Control(id)) w->setEnabled(on && connected);
  };
  enable(control::ReadFlash, s.readFlash);
  enable(control::ProgramFlash, s.programFlash);
  enable(control::VerifyFlash, s.verifyFlash);
  enable(control::ReadEeprom, s.readEeprom);
  enable(control::ProgramEeprom, s.programEeprom);
  enable(control::VerifyEeprom, s.verifyEeprom);
  enable(control::ChipErase, s.chipErase);
  enable(control::BlankCheck, s.blankCheck);
  enable(control::Autoprogram, s.autoprogram);
  enable(control::ReadSignature, s.readSignature);
  if (QAction* a = MenuAction(command::ReadCalibration))
    a->setEnabled(s.readCalibration && CommandConnected(WindowCommand::ReadCalibration));
  if (QAction* a = MenuAction(command::LockFuseBits)) a->setEnabled(s.lockFuseBits);
}

int MainWindow::CurrentDeviceIndex() const {
  return zr7::CurrentDeviceIndex(Combo(control::FamilyCombo)->currentIndex(), Combo(control::DeviceCombo)->currentIndex());
}

void MainWindow::OnDeviceChanged() {
  const int index = CurrentDeviceIndex();
  if (index < 0) return;
  ApplyDeviceChoice(project_, index);
  RefreshControls();
}

void MainWindow::ProjectSettingsCommand() {
  LockFuseCommands commands(link_);
  const ChipJob job = Job();
  const int current = CurrentDeviceIndex();
  const auto chosen = RunProjectSettingsDialog(this, catalog_, op_, project_, [&](int device, LockFuseState& state) {
    return EditAutoprogramLockFuse(this, catalog_, op_, commands, job, device, current, state);
  });
  if (!chosen) return;
  SetIncrementCheck(project_.settings().autoIncrement);
  project_.SetModified();
  SelectDevice(*chosen);
  SelectSckPeriod(project_.settings().spiPeriod);
  OnDeviceChanged();
}

namespace {

void FillDevices(QComboBox* combo, int family) {
  combo->clear();
  for (int i : DevicesOfFamily(family)) combo->addItem(Q(DeviceTable()[static_cast<std::size_t>(i)].Name));
  combo->setCurrentIndex(0);
}

}  // namespace

void MainWindow::FillDeviceCombos() {
  QComboBox* family = Combo(control::FamilyCombo);
  const QSignalBlocker block(family);
  family->clear();
  for (std::string_view name : FamilyLabels) family->addItem(Q(name));
  family->setCurrentIndex(0);
  FillDevices(Combo(control::DeviceCombo), 0);
}

void MainWindow::OnFamilyChanged() {
  const int family = Combo(control::FamilyCombo)->currentIndex();
  FillDevices(Combo(control::DeviceCombo), family);
  Combo(control::SckCombo)->setEnabled(family != static_cast<int>(DeviceFamily::At45));
  OnDeviceChanged();
}

void MainWindow::SelectDevice(int deviceNumber) {
  const auto position = PositionOfDevice(deviceNumber);
  if (!position) return;
  Combo(control::FamilyCombo)->setCurrentIndex(position->family);
  FillDevices(Combo(control::DeviceCombo), position->family);
  Combo(control::DeviceCombo)->setCurrentIndex(position->device);
  // Also here, not only on a family change: a project may bring a DataFlash with it.
  Combo(control::SckCombo)->setEnabled(position->family != static_cast<int>(DeviceFamily::At45));
  OnDeviceChanged();
}

void MainWindow::FillSckCombo() {
  QComboBox* sck = Combo(control::SckCombo);
  sck->clear();
  for (std::string_view text : SckPeriodTexts()) sck->addItem(Q(text));
}

void MainWindow::SelectSckPeriod(int spiPeriod) { Combo(control::SckCombo)->setCurrentIndex(spiPeriod); }

void MainWindow::SetFlashInvert(bool on) {
  Button(control::InvToggle)->setChecked(on);
  if (flashView_.setSwapBytePairs) flashView_.setSwapBytePairs(on);
  flash_.RefreshView();
}

void MainWindow::SetIncrementCheck(bool on) { Button(control::IncToggle)->setChecked(on); }

void MainWindow::RebuildRecentMenu() {
  QMenu* projectMenu = Popup(0);
  if (!projectMenu || !recentPlaceholder_) return;
  for (QAction* a : recentActions_) {
    projectMenu->removeAction(a);
    a->deleteLater();  // it may be the very action whose command is running
  }
  recentActions_.clear();
  const CatalogRow* placeholderRow = nullptr;
  for (const CatalogRow& row : MenuTextTable())
    if (row.id == RecentPlaceholderCommand) placeholderRow = &row;
  const std::string placeholder = placeholderRow ? catalog_.Pick(placeholderRow->english, placeholderRow->russian) : "";
  bool any = false;
  for (const RecentMenuEntry& e : recent_.MenuEntries(placeholder)) {
    if (e.commandId == RecentPlaceholderCommand) continue;
    QString text = Q(e.text);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a path has no mnemonic
    auto* a = new QAction(text, projectMenu);
    SetCommandId(a, e.commandId);
    a->setEnabled(e.enabled);
    const int id = e.commandId;
    connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    projectMenu->insertAction(recentPlaceholder_, a);
    recentActions_.push_back(a);
    any = true;
  }
  recentPlaceholder_->setVisible(!any);
}

// ---- Commands ----

ChipJob MainWindow::Job() const {
  ChipJob job = ChipJobOf(project_, board_.port, board_.highSpeed, delays_);
  job.connect.deviceNumber = CurrentDeviceIndex();
  return job;
}

void MainWindow::Command(int id, int code) {
  const Route route = RouteCommand(id, code);
  if (!CommandConnected(route.command)) return;
  MemoryBuffer& image = route.target == ImageTarget::Eeprom ? eeprom_ : flash_;
  using C = WindowCommand;
  switch (route.command) {
    case C::ProjectCommand:
      projectCommands_.Execute(id);
      break;
    case C::Exit:
      close();
      return;
    case C::Load:
      LoadCommand(image);
      break;
    case C::LoadAt:
      LoadAtCommand(image);
      break;
    case C::Reload: {
      std::int32_t status = results_.lastOperationStatus;
      ReloadCommand(image, status);
      results_.lastOperationStatus = status;
      break;
    }
    case C::Save:
      SaveCommand(image);
      break;
    case C::SaveAs:
      SaveAsCommand(image);
      break;
    case C::Close:
      CloseCommand(image);
      break;
    case C::Program:
    case C::Read:
    case C::Verify:
    case C::ChipErase:
    case C::SignatureButton:
    case C::SignatureMenu:
    case C::BlankCheck:
      RunChipCommand(route);
      break;
    case C::BoardSettings:
      BoardSettingsCommand();
      break;
    case C::AdvancedBoardSettings:
      AdvancedBoardSettingsCommand();
      break;
    case C::SelectLanguage:
      LanguageCommand();
      break;
    case C::LockFuseBits:
      LockFuseCommand();
      break;
    case C::Autoprogram:
      AutoprogramCommand(false);
      break;
    case C::ProjectSettings:
      ProjectSettingsCommand();
      return;
    case C::About: {
      XdgUrlOpener opener;
      RunAboutDialog(this, catalog_, op_, opener);
      return;
    }
    case C::SearchBoard:
      SearchBoardCommand();
      break;
    case C::BoardInfo:
      BoardManagement(link_).ShowBoardInfo(board_.port);
      break;
    case C::ReadCalibration:
      BoardManagement(link_).ReadCalibration(Job().connect, board_.port);
      break;
    case C::UpdateFirmware:
      UpdateFirmwareCommand();
      break;
    case C::Help:
      HelpCommand();
      return;
    case C::FamilyChanged:
      OnFamilyChanged();
      return;
    case C::DeviceChanged:
      OnDeviceChanged();
      return;
    case C::SckChanged:
      // Not a change of the project's contents that needs saving.
      project_.settings().spiPeriod = Combo(control::SckCombo)->currentIndex();
      return;
    case C::InvToggled: {
      const bool on = Button(control::InvToggle)->isChecked();
      project_.settings().flashInvert = on;
      project_.SetModified();
      if (flashView_.setSwapBytePairs) flashView_.setSwapBytePairs(on);
      flash_.RefreshView();
      return;
    }
    case C::IncToggled:
      project_.SetModified();
      project_.settings().autoIncrement = Button(control::IncToggle)->isChecked();
      return;
    default:
      return;
  }
  RefreshControls();
}

void MainWindow::RunChipCommand(const Route& route) {
  ChipJob job = Job();
  const bool flash = route.target != ImageTarget::Eeprom;
  switch (route.command) {
    case WindowCommand::Program:
      flash ? chip_.ProgramFlash(job) : chip_.ProgramEeprom(job);
      break;
    case WindowCommand::Read:
      flash ? chip_.ReadFlash(job) : chip_.ReadEeprom(job);
      break;
    case WindowCommand::Verify:
      flash ? chip_.VerifyFlash(job) : chip_.VerifyEeprom(job);
      break;
    case WindowCommand::ChipErase:
      chip_.ChipErase(job);
      break;
    case WindowCommand::SignatureButton:
      chip_.SignatureButton(job);
      break;
    case WindowCommand::SignatureMenu:
      chip_.ReadSignature(job);
      break;
    case WindowCommand::BlankCheck:
      chip_.BlankCheck(job);
      break;
    default:
      return;
  }
  flash_.RefreshView();
  eeprom_.RefreshView();
}

void MainWindow::BoardSettingsCommand() {
  // The simulator's device file is this run's only: the dialog shows, and may store, the
  // profile's paths.
  PortMap shown = simulatorPath_.empty() ? ports_ : PortMapOf(profile_);
  const BoardChoice before = board_;
  const bool confirmed = zr7::BoardSettingsCommand(
      profile_, board_.port, board_.highSpeed, shown,
      [this](int port, bool highSpeed, const PortMap& ports) {
        return dialogs_.BoardSettings(this, catalog_, op_, port, highSpeed, ports);
      });
  board_ = BoardAfterSettings(before, confirmed, board_.port, board_.highSpeed);
  ports_ = shown;
  if (!simulatorPath_.empty()) ports_.Set(0, simulatorPath_);
  comPort_.SetPortMap(ports_);
}

void MainWindow::AdvancedBoardSettingsCommand() {
  delays_ = profile_.Delays();
  if (auto edited = dialogs_.Delays(this, op_, delays_)) {
    delays_ = *edited;
    profile_.SetDelays(delays_);
  }
}

void MainWindow::LanguageCommand() {
  const auto choice = dialogs_.Language(this, catalog_, op_, language_.RussianSelected);
  if (!choice) return;
  language_.RussianSelected = *choice;
  Translate();
  RebuildRecentMenu();
}

void MainWindow::LockFuseCommand() {
  LockFuseCommands commands(link_);
  OpenLockFuseTool(this, catalog_, op_, commands, Job(), CurrentDeviceIndex(), [this](ChipJob& job) {
    chip_.ChipErase(job);
    return results_.lastOperationStatus == 0;
  });
}

void MainWindow::SearchBoardCommand() {
  const SearchResult found = BoardManagement(link_).SearchBoard();
  // Kept in memory and written at shut-down; the simulator's slot stays this run's only.
  board_.port = found.port;
  board_.simulatorPort = !simulatorPath_.empty() && found.port == 1;
}

void MainWindow::UpdateFirmwareCommand() {
  // The dialog names the image; the update reads it only once the operator has chosen.
  SelfProgramChoice offered = firmware_;
  offered.speed = FirmwareSpeed::Normal;  // each time, as the dialog opens with it
  const FirmwareUpdateRequest request{board_.port, offered.imagePath, offered.confirmation, offered.speed};
  UpdateFirmware(link_, request, [&](const FirmwareVersions& versions, FirmwareUpdateRequest& chosen) {
    const auto choice = RunSelfProgramDialog(this, catalog_, op_, versions, offered);
    if (!choice) return false;
    // Offered again by the next update.
    firmware_ = *choice;
    chosen.imagePath = choice->imagePath;
    chosen.confirmation = choice->confirmation;
    chosen.speed = choice->speed;
    return true;
  });
}

void MainWindow::HelpCommand() {
  // The document next to the program or in its installation, else in the current folder; its
  // absence is not reported.
  const QString name = QStringLiteral("Help/ZR7.HTM");
  QString path = QString::fromStdString(FindDataFile(QCoreApplication::applicationDirPath().toStdString(), name.toStdString()));
  if (path.isEmpty()) path = QDir::current().absoluteFilePath(name);
  QUrl url = QUrl::fromLocalFile(path);
  if (language_.RussianSelected) url.setFragment(QStringLiteral("ru"));
  QDesktopServices::openUrl(url);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Exit and the close box. An unattended run has nobody to ask.
  if (autoprogramRequested_ || projectCommands_.ConfirmLeave())
    event->accept();
  else
    event->ignore();
}

// ---- Drop ----

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  event->acceptProposedAction();
  DropFiles(files, event->position().toPoint());
}

void MainWindow::DropFiles(const std::vector<std::string>& files, QPoint windowPoint) {
  const QPoint p = client_->mapFrom(this, windowPoint);
  DropZone zone = DropZone::None;
  if (Control(control::FlashView)->geometry().contains(p))
    zone = DropZone::FlashView;
  else if (Control(control::EepromView)->geometry().contains(p))
    zone = DropZone::EepromView;
  const DropDecision d = DecideDrop(files, zone);
  using A = DropDecision::Action;
  switch (d.action) {
    case A::Ignore:
      return;
    case A::Beep:
      QApplication::beep();
      return;
    case A::OpenProject:
      if (projectCommands_.ConfirmLeave() && project_.Load(d.path)) {
        SelectSckPeriod(project_.settings().spiPeriod);
        SelectDevice(project_.settings().deviceNo);
      }
      break;
    case A::LoadFlash:
    case A::LoadEeprom: {
      MemoryBuffer& target = d.action == A::LoadFlash ? flash_ : eeprom_;
      if (MayReplaceImage(target) && LoadFile(target, d.path)) ShowBufferStatus(target);
      break;
    }
  }
  RefreshControls();
}

}  // namespace zr7
