# Source lists of the projectsettings piece of the desktop program (paths relative to the project root);
# the variables mean what they mean in gui-dialogs.cmake.
set(ZR7_CORE_SOURCES_projectsettings)
set(ZR7_GUI_SOURCES_projectsettings)
set(ZR7_GUI_TESTS_projectsettings)
set(ZR7_CORE_TESTS_projectsettings)
