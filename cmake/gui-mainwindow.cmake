# Source lists of the mainwindow piece of the desktop program (paths relative to the project root).
# ZR7_CORE_SOURCES_* build into the core (no Qt), ZR7_GUI_SOURCES_* into the Qt library,
# ZR7_GUI_TESTS_* into the Qt test program, ZR7_CORE_TESTS_* into the core test program.
set(ZR7_CORE_SOURCES_mainwindow
  src/app/StartupLogic.cpp
  src/app/WindowRules.cpp
)
set(ZR7_GUI_SOURCES_mainwindow
  src/app/AppIcon.cpp
  src/app/MainWindow.cpp
  src/app/MainWindowDialogs.cpp
  src/app/QtOperator.cpp
  src/operations/ProgressDialog.cpp
)
set(ZR7_GUI_TESTS_mainwindow
  tests/gui/MainWindowTest.cpp
  tests/gui/ProgressDialogTest.cpp
)
set(ZR7_CORE_TESTS_mainwindow
  tests/app/WindowRulesTest.cpp
  tests/app/WindowStartupTest.cpp
)
