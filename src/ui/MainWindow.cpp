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
#include <QThread>
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
  return {v, [v] { v->Refresh(); }, [v](bool swap) { v->SetSwapBytePairs(swap); }};
}

MainWindow::MainWindow(const MainWindowContext& c)
    : language_(c.language),
      catalog_(c.catalog),
      op_(c.op),
      profile_(c.profile),
      dialogs_(c.dialogs),
      simulatorPath_(c.simulatorPath),
      bench_({c.op, c.catalog, c.profile}),
      texts_(this) {
  if (!simulatorPath_.empty()) {
    bench_.ports.Set(0, simulatorPath_);
    bench_.port.SetPortMap(bench_.ports);
  }
  op_.SetOwner(this);
  client_ = new QWidget(this);
  setCentralWidget(client_);
  client_->installEventFilter(this);
  BuildControls();
  BuildMenu();
  op_.SetStatusLabel(qobject_cast<QLabel*>(Control(control::StatusLine)));

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
  bench_.flash.Detach();
  bench_.eeprom.Detach();
  bench_.recent.SaveRecentList();
  op_.SetStatusLabel(nullptr);
  op_.SetOwner(nullptr);
}

void MainWindow::WriteBoardToProfile() {
  if (StorePort(bench_.board)) profile_.SetComPort(bench_.board.port);
  profile_.SetHighSpeed(bench_.board.highSpeed);
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
  bench_.recent.LoadRecentList();
  RebuildRecentMenu();

  language_.RussianSelected = profile_.Russian();
  bench_.delays = profile_.Delays();
  bench_.board = StartupBoard(profile_.ComPort(), profile_.HighSpeed(), !simulatorPath_.empty());
  if (AskBoardAtStartup(bench_.board)) {
    // Before the window is shown, preset to no port and normal speed.
    if (auto choice = dialogs_.BoardSettings(this, catalog_, op_, 0, false, bench_.ports)) {
      bench_.board.port = choice->port;
      bench_.board.highSpeed = choice->highSpeed;
      for (int i = 0; i < PortCount; ++i)
        if (choice->ports.PathFor(i) != bench_.ports.PathFor(i)) profile_.SetPortPath(i, choice->ports.PathFor(i));
      bench_.ports = choice->ports;
      bench_.port.SetPortMap(bench_.ports);
    }
  }
  WriteBoardToProfile();

  setWindowIcon(QApplication::windowIcon());
  bench_.ShowIn(this);

  flashView_ = MakeImageView(client_, bench_.flash);
  flashView_.widget->setObjectName(QStringLiteral("Preview Flash"));
  flashView_.refresh();
  eepromView_ = MakeImageView(client_, bench_.eeprom);
  eepromView_.widget->setObjectName(QStringLiteral("Preview Eeprom"));
  eepromView_.refresh();
  flashView_.widget->show();
  eepromView_.widget->show();
  LayoutHexViews();

  FillDeviceCombos();

  const CommandLine line = ParseCommandLine(CommandLineOf("zr7", arguments));
  const StartupProject start = ChooseStartupProject(profile_.LoadMostRecent(), profile_.RecentProject(1), line);
  if (start.name != Unspecified) {
    // Only a project that opens goes first in the list: a relative entry from an older profile,
    // started from elsewhere, must not turn into a wrong absolute one.
    if (bench_.project.Load(start.name)) {
      bench_.recent.AddToRecent(start.name);
      RebuildRecentMenu();
    }
    autoprogramRequested_ = start.autoprogram;
  }

  FillSckCombo();
  SelectSckPeriod(bench_.project.settings().spiPeriod);
  setAcceptDrops(true);
  Translate();
  initialised_ = true;
  SelectDevice(bench_.project.settings().deviceNo);

  if (autoprogramRequested_) {
    // Before the window is shown: only the operations' dialogs and the verdict appear.
    outcome_.AutoprogramSucceeded = false;
    AutoprogramCommand(true);
    ShowNotice(op_, catalog_, catalog_.GetText(outcome_.AutoprogramSucceeded ? msg::AutoprogramOk : msg::AutoprogramError));
  }
}

void MainWindow::AutoprogramCommand(bool unattended) {
  bench_.device = CurrentDeviceIndex();
  bench_.RunAutoprogram(unattended, outcome_);
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
  setWindowTitle(Q(WindowTitle(bench_.project.path(), bench_.project.modified(), catalog_.GetText(msg::ProductTitle))));
  const DeviceRecord* device = DeviceAt(CurrentDeviceIndex());
  if (!device) return;
  ApplyEnabling(ComputeControlStates(*device, !bench_.flash.empty(), !bench_.eeprom.empty()));
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
  bench_.device = index;
  ApplyDeviceChoice(bench_.project, index);
  RefreshControls();
}

void MainWindow::ProjectSettingsCommand() {
  LockFuseCommands& commands = bench_.lockFuse;
  const ChipJob job = Job();
  const int current = CurrentDeviceIndex();
  const auto chosen = RunProjectSettingsDialog(this, catalog_, op_, bench_.project, [&](int device, LockFuseState& state) {
    return EditAutoprogramLockFuse(this, catalog_, op_, commands, job, device, current, state);
  });
  if (!chosen) return;
  SetIncrementCheck(bench_.project.settings().autoIncrement);
  bench_.project.SetModified();
  SelectDevice(*chosen);
  SelectSckPeriod(bench_.project.settings().spiPeriod);
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
  if (flashView_.refresh) flashView_.refresh();
}

void MainWindow::ImageChanged(ImageKind which, std::uint32_t offset, std::uint32_t length) {
  // A transfer reports from its worker; the widgets are this thread's.
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(this, [=, this] { ImageChanged(which, offset, length); }, Qt::QueuedConnection);
    return;
  }
  const bool flash = which == ImageKind::Flash;
  if (auto* label = qobject_cast<QLabel*>(Control(flash ? control::FlashLabel : control::EepromLabel)))
    label->setText(Q(ImageLabelText(flash ? bench_.flash : bench_.eeprom)));
  const ImageView& view = flash ? flashView_ : eepromView_;
  if (view.refresh) view.refresh();
  RefreshControls();
}

void MainWindow::ProjectChanged() {
  if (!controlsReady_) return;
  const ProjectSettings& s = bench_.project.settings();
  if (Button(control::InvToggle)->isChecked() != s.flashInvert) SetFlashInvert(s.flashInvert);
  SetIncrementCheck(s.autoIncrement);
  if (Combo(control::SckCombo)->count() > s.spiPeriod) SelectSckPeriod(s.spiPeriod);
  RefreshControls();
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
  for (const RecentMenuEntry& e : bench_.recent.MenuEntries(placeholder)) {
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
  ChipJob job = bench_.Job();
  job.connect.deviceNumber = CurrentDeviceIndex();
  return job;
}

void MainWindow::Command(int id, int code) {
  const Route route = RouteCommand(id, code);
  if (!CommandConnected(route.command)) return;
  MemoryBuffer& image = route.target == ImageTarget::Eeprom ? bench_.eeprom : bench_.flash;
  using C = WindowCommand;
  switch (route.command) {
    case C::ProjectCommand:
      bench_.projectCommands.Execute(id);
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
      std::int32_t status = bench_.results.lastOperationStatus;
      ReloadCommand(image, status);
      bench_.results.lastOperationStatus = status;
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
      BoardManagement(bench_.link).ShowBoardInfo(bench_.board.port);
      break;
    case C::ReadCalibration:
      BoardManagement(bench_.link).ReadCalibration(Job().connect, bench_.board.port);
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
      bench_.project.settings().spiPeriod = Combo(control::SckCombo)->currentIndex();
      return;
    case C::InvToggled: {
      const bool on = Button(control::InvToggle)->isChecked();
      bench_.project.settings().flashInvert = on;
      SetFlashInvert(on);
      bench_.project.SetModified();
      return;
    }
    case C::IncToggled:
      bench_.project.settings().autoIncrement = Button(control::IncToggle)->isChecked();
      bench_.project.SetModified();
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
      flash ? bench_.chip.ProgramFlash(job) : bench_.chip.ProgramEeprom(job);
      break;
    case WindowCommand::Read:
      flash ? bench_.chip.ReadFlash(job) : bench_.chip.ReadEeprom(job);
      break;
    case WindowCommand::Verify:
      flash ? bench_.chip.VerifyFlash(job) : bench_.chip.VerifyEeprom(job);
      break;
    case WindowCommand::ChipErase:
      bench_.chip.ChipErase(job);
      break;
    case WindowCommand::SignatureButton:
      bench_.chip.SignatureButton(job);
      break;
    case WindowCommand::SignatureMenu:
      bench_.chip.ReadSignature(job);
      break;
    case WindowCommand::BlankCheck:
      bench_.chip.BlankCheck(job);
      break;
    default:
      return;
  }
  bench_.flash.Changed();
  bench_.eeprom.Changed();
}

void MainWindow::BoardSettingsCommand() {
  // The simulator's device file is this run's only: the dialog shows, and may store, the
  // profile's paths.
  PortMap shown = simulatorPath_.empty() ? bench_.ports : PortMapOf(profile_);
  const BoardChoice before = bench_.board;
  const bool confirmed = zr7::BoardSettingsCommand(
      profile_, bench_.board.port, bench_.board.highSpeed, shown,
      [this](int port, bool highSpeed, const PortMap& ports) {
        return dialogs_.BoardSettings(this, catalog_, op_, port, highSpeed, ports);
      });
  bench_.board = BoardAfterSettings(before, confirmed, bench_.board.port, bench_.board.highSpeed);
  bench_.ports = shown;
  if (!simulatorPath_.empty()) bench_.ports.Set(0, simulatorPath_);
  bench_.port.SetPortMap(bench_.ports);
}

void MainWindow::AdvancedBoardSettingsCommand() {
  bench_.delays = profile_.Delays();
  if (auto edited = dialogs_.Delays(this, op_, bench_.delays)) {
    bench_.delays = *edited;
    profile_.SetDelays(bench_.delays);
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
  LockFuseCommands& commands = bench_.lockFuse;
  OpenLockFuseTool(this, catalog_, op_, commands, Job(), CurrentDeviceIndex(), [this](ChipJob& job) {
    bench_.chip.ChipErase(job);
    return bench_.results.lastOperationStatus == 0;
  });
}

void MainWindow::SearchBoardCommand() {
  const SearchResult found = BoardManagement(bench_.link).SearchBoard();
  // Kept in memory and written at shut-down; the simulator's slot stays this run's only.
  bench_.board.port = found.port;
  bench_.board.simulatorPort = !simulatorPath_.empty() && found.port == 1;
}

void MainWindow::UpdateFirmwareCommand() {
  // The dialog names the image; the update reads it only once the operator has chosen.
  SelfProgramChoice offered = firmware_;
  offered.speed = FirmwareSpeed::Normal;  // each time, as the dialog opens with it
  const FirmwareUpdateRequest request{bench_.board.port, offered.imagePath, offered.confirmation, offered.speed};
  UpdateFirmware(bench_.link, request, [&](const FirmwareVersions& versions, FirmwareUpdateRequest& chosen) {
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
  if (autoprogramRequested_ || bench_.projectCommands.ConfirmLeave())
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
      if (bench_.projectCommands.ConfirmLeave() && bench_.project.Load(d.path))
        SelectDevice(bench_.project.settings().deviceNo);
      break;
    case A::LoadFlash:
    case A::LoadEeprom: {
      MemoryBuffer& target = d.action == A::LoadFlash ? bench_.flash : bench_.eeprom;
      if (MayReplaceImage(target) && LoadFile(target, d.path)) ShowBufferStatus(target);
      break;
    }
  }
  RefreshControls();
}

}  // namespace zr7
