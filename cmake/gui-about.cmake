# Source lists of the about piece of the desktop program (paths relative to the project root);
# the variables mean what they mean in gui-dialogs.cmake.
set(ZR7_CORE_SOURCES_about
  src/ui/LinkRules.cpp
)
set(ZR7_GUI_SOURCES_about
  src/ui/AboutDialog.cpp
  src/ui/HyperLink.cpp
  src/ui/UrlOpener.cpp
)
set(ZR7_GUI_TESTS_about
  tests/gui/AboutDialogTest.cpp
)
set(ZR7_CORE_TESTS_about
  tests/ui/LinkRulesTest.cpp
)
