# Source lists of the dialogs piece of the desktop program (paths relative to the project root).
# ZR7_CORE_SOURCES_* build into the core (no Qt), ZR7_GUI_SOURCES_* into the Qt library,
# ZR7_GUI_TESTS_* into the Qt test program, ZR7_CORE_TESTS_* into the core test program.
set(ZR7_CORE_SOURCES_dialogs
  src/ui/DialogRules.cpp
)
set(ZR7_GUI_SOURCES_dialogs
  src/ui/LanguageDialog.cpp
  src/ui/LoadAddressDialog.cpp
  src/ui/BoardDelaysDialog.cpp
  src/link/BoardSettingsDialog.cpp
  src/lockfuse/LockFuseDialog.cpp
  src/link/SelfProgramDialog.cpp
)
set(ZR7_GUI_TESTS_dialogs
  tests/gui/DialogsTest.cpp
  tests/gui/LockFuseDialogTest.cpp
  tests/gui/BoardCommandsTest.cpp
)
set(ZR7_CORE_TESTS_dialogs
  tests/ui/DialogRulesTest.cpp
)
