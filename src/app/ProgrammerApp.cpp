#include "app/ProgrammerApp.h"

#include <QApplication>
#include <iostream>
#include <memory>

#include "BoardSimulator.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowDialogs.h"
#include "text/MessageCatalog.h"
#include "ui/QtOperator.h"
#include "present/StartupLogic.h"
#include "project/Profile.h"

namespace zr7 {

int ProgrammerApp::Run(const std::vector<std::string>& arguments, const std::string& profilePath) {
  const OwnOptions own = SplitOwnOptions(arguments);
  if (!own.error.empty()) {
    std::cerr << own.error << '\n';
    return 2;
  }
  LanguageSettings language;
  MessageCatalog catalog(language);
  QtOperator op(catalog);
  Profile profile(profilePath, op, catalog);

  std::unique_ptr<zr7sim::BoardSimulator> simulator;
  std::string simulatorPath;
  if (own.simulator) {
    zr7sim::SimOptions options;
    options.chip = own.simulatorChip;
    simulator = std::make_unique<zr7sim::BoardSimulator>(options);
    std::string error;
    if (!simulator->Start(&error)) {
      std::cerr << "simulator: " << error << '\n';
      return 2;
    }
    simulatorPath = simulator->SlavePath();
  }

  MainWindowDialogs dialogs;
  int code = 0;
  {
    MainWindow window({language, catalog, op, profile, dialogs, simulatorPath});
    window.Initialise(own.rest);
    if (window.AutoprogramRequested()) {
      // A production station reads the verdict from the exit status as well as the box.
      code = window.Outcome().AutoprogramSucceeded ? 0 : 1;
    } else {
      window.show();
      code = QApplication::exec();
    }
  }  // the window's shutdown writes the profile before the simulator goes
  if (simulator) simulator->Stop();
  return code;
}

}  // namespace zr7
