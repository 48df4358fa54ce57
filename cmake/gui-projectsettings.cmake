# Source lists of the projectsettings piece of the desktop program (paths relative to the project root);
# the variables mean what they mean in gui-dialogs.cmake.
set(ZR7_CORE_SOURCES_projectsettings
  src/project/ProjectSettingsRules.cpp
)
set(ZR7_GUI_SOURCES_projectsettings
  src/project/ProjectSettingsDialog.cpp
)
set(ZR7_GUI_TESTS_projectsettings
  tests/gui/ProjectSettingsDialogTest.cpp
)
set(ZR7_CORE_TESTS_projectsettings
  tests/project/ProjectSettingsRulesTest.cpp
)
