#pragma once
// The main window as the program builds it, on a profile of the test case's own in which every
// port slot names a path of its own, so that no adapter of the machine is ever opened.

#include <QAction>
#include <deque>
#include <memory>

#include "Widgets.h"
#include "devices/DeviceTable.h"
#include "project/Profile.h"
#include "text/MessageCatalog.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowDialogs.h"
#include "ui/QtOperator.h"

namespace zr7test {

using namespace zr7;

// The window's real Qt operator with its boxes and file dialogs answered from a script.
class ScriptedQtOperator : public QtOperator {
 public:
  using QtOperator::QtOperator;
  std::deque<BoxAnswer> answers;  // none left: a box with only OK gets Ok, a question No
  std::vector<MessageBoxRequest> boxes;
  std::deque<std::string> files;  // none left: the file dialog is cancelled

 protected:
  BoxAnswer AskOnGuiThread(const MessageBoxRequest& box) override {
    boxes.push_back(box);
    return answers.empty() ? (box.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No) : Next(answers);
  }
  std::optional<std::string> ChooseFileOnGuiThread(const FileRequest&, bool) override {
    return files.empty() ? std::nullopt : std::optional(Next(files));
  }
  template <class T>
  static T Next(std::deque<T>& queue) {
    T front = queue.front();
    queue.pop_front();
    return front;
  }
};

// The window's small dialogs answered from the test; Board Settings keeps the window's paths.
class FakeDialogs : public MainWindowDialogs {
 public:
  std::optional<bool> language;
  std::optional<BoardDelays> delays;
  std::optional<std::pair<int, bool>> board;  // port and speed; none: Cancel
  int boardCalls = 0;
  bool windowVisibleAtBoard = true;

  std::optional<bool> Language(QWidget*, const MessageCatalog&, OperatorInterface&, bool) override { return language; }
  std::optional<BoardDelays> Delays(QWidget*, OperatorInterface&, const BoardDelays&) override { return delays; }
  std::optional<BoardSettingsChoice> BoardSettings(QWidget* parent, const MessageCatalog&, OperatorInterface&, int,
                                                   bool, const PortMap& ports) override {
    ++boardCalls;
    windowVisibleAtBoard = parent && parent->isVisible();
    if (!board) return std::nullopt;
    return BoardSettingsChoice{board->first, board->second, ports};
  }
};

class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override { window.reset(); }

  // "Connect" "COM" is `port` (0: none yet); `board`, a simulator's path, on COM2.
  void WriteProfile(int port, const std::string& board = "", const std::string& more = "") {
    std::ofstream out(profilePath);
    if (port) out << "[Connect]\nCOM=" << port << "\n";
    out << "[Ports]\n";
    for (int com = 1; com <= 8; ++com)
      out << "COM" << com << "=" << (com == 2 && !board.empty() ? board : dir / ("absent" + std::to_string(com)))
          << "\n";
    out << more;
  }

  // The start-up sequence; the window shows unless the run was an unattended autoprogram.
  void Start(const std::vector<std::string>& arguments = {}, const std::string& simulatorPath = "") {
    window.reset();
    profile = std::make_unique<zr7::Profile>(profilePath, op, catalog);
    window = std::make_unique<MainWindow>(MainWindowContext{language, catalog, op, *profile, dialogs, simulatorPath});
    window->Initialise(arguments);
    if (!window->AutoprogramRequested()) window->show();
  }

  void Trigger(int commandId) {
    QAction* a = window->MenuAction(commandId);
    ASSERT_TRUE(a && a->isEnabled()) << commandId;
    a->trigger();
  }
  QPushButton* Button(int id) { return qobject_cast<QPushButton*>(window->Control(id)); }
  QComboBox* Combo(int id) { return qobject_cast<QComboBox*>(window->Control(id)); }
  bool Enabled(int id) { return window->Control(id)->isEnabled(); }

  // The operator's choice in a combo, as the drop-down reports it.
  void Choose(int comboId, int position) {
    QComboBox* c = Combo(comboId);
    c->setCurrentIndex(position);
    emit c->activated(position);
  }
  void ChooseDevice(const std::string& name) {
    const int device = FindDeviceByName(name);
    Choose(control::FamilyCombo, static_cast<int>(DeviceTable()[static_cast<std::size_t>(device)].Family));
    Choose(control::DeviceCombo, Combo(control::DeviceCombo)->findText(QString::fromStdString(name)));
    ASSERT_EQ(window->CurrentDeviceIndex(), device);
  }
  QPoint CentreOf(QWidget* w) { return w->mapTo(window.get(), w->rect().center()); }

  ScratchDir dir;
  std::string profilePath = dir / "zr7.ini";
  LanguageSettings language;
  MessageCatalog catalog{language};
  ScriptedQtOperator op{catalog};
  FakeDialogs dialogs;
  std::unique_ptr<zr7::Profile> profile;
  std::unique_ptr<MainWindow> window;
};

}  // namespace zr7test
