// zr7-screenshots OUTDIR PROJECT: pictures of the desktop program for the README and for
// review, drawn off screen: the main window in English and Russian after the sample image
// was programmed and verified on the simulated board, the progress window, each dialog (the
// lock and fuse bits of an ATmega32 and of an AT89S52).

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "BoardSimulator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowDialogs.h"
#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "devices/DeviceTable.h"
#include "ui/BoardSettingsDialog.h"
#include "lockfuse/LockFuseCommands.h"
#include "text/MessageIds.h"
#include "ui/LockFuseDialog.h"
#include "ui/ProjectSettingsDialog.h"
#include "ui/AboutDialog.h"
#include "ui/UrlOpener.h"
#include "ui/ProgressDialog.h"
#include "ui/BoardDelaysDialog.h"
#include "ui/LanguageDialog.h"
#include "ui/LoadAddressDialog.h"

namespace {

using namespace zr7;

// Answers the language question with what the picture needs.
class ChosenLanguage : public MainWindowDialogs {
 public:
  bool russian = false;
  std::optional<bool> Language(QWidget*, const MessageCatalog&, OperatorInterface&, bool) override { return russian; }
};

// Holds at 40 percent until the picture is taken.
class HeldOperation : public ProgressOperation {
 public:
  using ProgressOperation::ProgressOperation;
  std::atomic<bool> release{false};
  std::int32_t Run() override {
    BeginPhase(Catalog().GetText(msg::ProgramCaption), Catalog().GetText(msg::ProgrammingFlash), 100);
    ReportProgress(40);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!release && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return ResultSuccess;
  }
};

bool Save(QWidget& w, const QString& dir, const char* name) {
  w.show();
  QApplication::processEvents();
  const QString path = dir + QLatin1Char('/') + QLatin1String(name);
  const bool ok = w.grab().save(path);
  std::cout << (ok ? "wrote " : "could not write ") << path.toStdString() << '\n';
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (argc != 3) {
    std::cerr << "usage: zr7-screenshots OUTDIR PROJECT.zr7\n";
    return 2;
  }
  const QString out = QDir().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(out);
  const std::string project = argv[2];

  // A profile of its own, so that nothing of the user's changes.
  const std::filesystem::path profileDir = std::filesystem::temp_directory_path() / "zr7-screenshots-profile";
  std::filesystem::create_directories(profileDir);
  const std::string profilePath = (profileDir / "zr7.ini").string();
  std::ofstream(profilePath, std::ios::trunc) << "[Connect]\nCOM=1\n";

  zr7sim::BoardSimulator sim;
  std::string error;
  if (!sim.Start(&error)) {
    std::cerr << "simulator: " << error << '\n';
    return 1;
  }

  LanguageSettings language;
  MessageCatalog catalog(language);
  QtOperator op(catalog);
  Profile profile(profilePath, op, catalog);
  ChosenLanguage dialogs;
  bool ok = true;
  {
    MainWindow window({language, catalog, op, profile, dialogs, sim.SlavePath()});
    window.Initialise({project});
    window.show();
    window.Command(control::ProgramFlash);
    window.Command(control::VerifyFlash);
    window.Command(control::ProgramEeprom);
    ok &= Save(window, out, "main-window-en.png");
    dialogs.russian = true;
    window.Command(command::SelectLanguage);
    ok &= Save(window, out, "main-window-ru.png");
    dialogs.russian = false;
    window.Command(command::SelectLanguage);

    HeldOperation held(catalog);
    QTimer::singleShot(300, [&] {
      if (QWidget* w = QApplication::activeModalWidget()) ok &= Save(*w, out, "progress-window.png");
      held.release = true;
    });
    op.RunProgress(held);

    LanguageDialog languageDialog(&window, catalog, op, false);
    ok &= Save(languageDialog, out, "language-dialog.png");
    LoadAddressDialog loadAddress(&window, catalog, op, 0x3C);
    ok &= Save(loadAddress, out, "load-address-dialog.png");
    BoardDelaysDialog delays(&window, op, BoardDelays{0, 5, 10, 0});
    ok &= Save(delays, out, "board-delays-dialog.png");
    PortMap ports;
    ports.Set(0, sim.SlavePath());
    BoardSettingsDialog board(&window, catalog, op, 1, false, ports);
    ok &= Save(board, out, "board-settings-dialog.png");

    // The lock and fuse bits of an AVR with three fuse bytes and of an AT89S, as the chip
    // would show them; no board is asked.
    ComPort quiet(ports);
    BoardLink quietLink(quiet, op, catalog);
    LockFuseCommands lockFuse(quietLink);
    for (const char* chip : {"ATmega32", "AT89S52"}) {
      const int device = FindDeviceByName(chip);
      LockFuseState state;
      state.lockMode = 1;
      state.readable = true;
      LockFuseDialog dialog(&window, catalog, op, lockFuse, ChipJob{}, device, state, false);
      ok &= Save(dialog, out, (std::string("lock-fuse-dialog-") + chip + ".png").c_str());
    }
    ProjectSettings settings = window.CurrentProject().settings();
    ProjectSettingsDialog projectSettings(&window, catalog, op, settings,
                                          [](int, LockFuseState&) { return false; });
    ok &= Save(projectSettings, out, "project-settings-dialog.png");
    XdgUrlOpener opener;
    AboutDialog about(&window, catalog, op, opener);
    ok &= Save(about, out, "about-dialog.png");
  }
  sim.Stop();
  std::filesystem::remove_all(profileDir);
  return ok ? 0 : 1;
}
