#pragma once
// The main window (template 102): two images with their views, the device column, the
// status line and the menu. It owns the buffers, the project, the board link and the views
// for its whole life; every command arrives at Command and is routed by WindowRules.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "present/StartupLogic.h"
#include "present/WindowRules.h"
#include "buffers/MemoryBuffer.h"
#include "ui/SelfProgramDialog.h"
#include "link/PortMap.h"
#include "operations/Autoprogram.h"
#include "operations/ChipCommands.h"
#include "project/Profile.h"
#include "project/Project.h"
#include "project/ProjectCommands.h"
#include "project/RecentList.h"
#include "session/Workbench.h"
#include "ui/QtWindowTexts.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

namespace zr7 {

class MainWindowDialogs;
class QtOperator;
struct LanguageSettings;

// Everything the window works with that outlives it.
struct MainWindowContext {
  LanguageSettings& language;
  const MessageCatalog& catalog;
  QtOperator& op;
  Profile& profile;
  MainWindowDialogs& dialogs;
  std::string simulatorPath;  // the simulated board's device file; empty without one
};

// A memory image's view, whatever widget provides it.
struct ImageView {
  QWidget* widget = nullptr;
  std::function<void()> refresh;  // from any thread
  std::function<void(bool)> setSwapBytePairs;
};
ImageView MakeImageView(QWidget* parent, MemoryBuffer& buffer);

class MainWindow : public QMainWindow, public ViewInterface {
 public:
  explicit MainWindow(const MainWindowContext& context);
  // The shutdown sequence: settings back to the profile; the project is not saved.
  ~MainWindow() override;

  // The start-up sequence up to the window being shown. `arguments` are the command line's
  // words after the program's own options.
  void Initialise(const std::vector<std::string>& arguments);
  // After Initialise: "-autoprogram" was given, the run is over and its verdict shown; the
  // window is not to be shown. The process's exit status follows AutoprogramSucceeded.
  bool AutoprogramRequested() const { return autoprogramRequested_; }
  const AutoprogramOutcome& Outcome() const { return outcome_; }

  // A command from a menu item, a button or a control notification.
  void Command(int id, int code = CodeClicked);

  // What the session reports: the window redraws from these.
  void ImageChanged(ImageKind which, std::uint32_t offset, std::uint32_t length) override;
  void ProjectChanged() override;
  void DeviceSelected(int deviceNumber) override { SelectDevice(deviceNumber); }
  void RecentListChanged() override { RebuildRecentMenu(); }

  // Title and enabled commands, from the project, the images and the chosen chip.
  void RefreshControls();
  void OnDeviceChanged();
  int CurrentDeviceIndex() const;
  // Selects the chip and lets the combos, the enabling and the project follow.
  void SelectDevice(int deviceNumber);
  void FillDeviceCombos();
  void OnFamilyChanged();
  void FillSckCombo();

  void SetFlashInvert(bool on);
  void SetIncrementCheck(bool on);
  void SelectSckPeriod(int spiPeriod);
  void RebuildRecentMenu();

  // A file dropped at this point of the window (window coordinates).
  void DropFiles(const std::vector<std::string>& files, QPoint windowPoint);

  QWidget* Control(int id) const;
  QAction* MenuAction(int commandId) const;
  QMenu* Popup(int position) const;
  QString StatusText() const;
  MemoryBuffer& FlashBuffer() { return bench_.flash; }
  MemoryBuffer& EepromBuffer() { return bench_.eeprom; }
  Project& CurrentProject() { return bench_.project; }
  ChipResults& Results() { return bench_.results; }
  const BoardChoice& Board() const { return bench_.board; }
  Workbench& Bench() { return bench_; }
  QWidget* FlashViewWidget() const { return flashView_.widget; }
  QWidget* EepromViewWidget() const { return eepromView_.widget; }

 protected:
  // Unsaved changes: Save, Discard or Cancel first.
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void Translate();
  void LayoutHexViews();
  void OnClientResized();
  void ApplyEnabling(const ControlStates& states);
  ChipJob Job() const;
  void RunChipCommand(const Route& route);
  void BoardSettingsCommand();
  void AdvancedBoardSettingsCommand();
  void LanguageCommand();
  void LockFuseCommand();
  void AutoprogramCommand(bool unattended);
  void ProjectSettingsCommand();
  void SearchBoardCommand();
  void UpdateFirmwareCommand();
  void HelpCommand();
  void WriteBoardToProfile();
  QComboBox* Combo(int id) const;
  QPushButton* Button(int id) const;

  LanguageSettings& language_;
  const MessageCatalog& catalog_;
  QtOperator& op_;
  Profile& profile_;
  MainWindowDialogs& dialogs_;
  std::string simulatorPath_;

  // The session this window shows: port, link, images, project, commands.
  Workbench bench_;
  // The last update's file, sequence and speed, offered again by the next one.
  SelfProgramChoice firmware_;

  QWidget* client_ = nullptr;
  QtWindowTexts texts_;
  std::map<int, QPointer<QWidget>> controls_;
  std::map<int, QAction*> actions_;
  std::vector<QMenu*> popups_;
  QAction* recentPlaceholder_ = nullptr;
  std::vector<QAction*> recentActions_;
  AnchorSet anchors_;
  ImageView flashView_;
  ImageView eepromView_;
  bool controlsReady_ = false;
  bool initialised_ = false;
  bool autoprogramRequested_ = false;
  AutoprogramOutcome outcome_;
};

}  // namespace zr7
