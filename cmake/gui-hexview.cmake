# Source lists of the hexview piece of the desktop program (paths relative to the project root).
# ZR7_CORE_SOURCES_* build into the core (no Qt), ZR7_GUI_SOURCES_* into the Qt library,
# ZR7_GUI_TESTS_* into the Qt test program, ZR7_CORE_TESTS_* into the core test program.
set(ZR7_CORE_SOURCES_hexview
  src/ui/Cp437.cpp
  src/ui/HexEdit.cpp
  src/ui/HexLayout.cpp
)
set(ZR7_GUI_SOURCES_hexview
  src/ui/HexView.cpp
  src/ui/HexView.h
  src/ui/HexViewGlyphs.cpp
  src/ui/HexViewGlyphs.h
)
set(ZR7_GUI_TESTS_hexview
  tests/gui/HexViewTest.cpp
)
set(ZR7_CORE_TESTS_hexview
  tests/ui/HexLayoutTest.cpp
  tests/ui/HexEditTest.cpp
  tests/ui/HexCharsetTest.cpp
)
