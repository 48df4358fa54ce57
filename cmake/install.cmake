# cmake --install build --prefix P: the three programs, the help (both languages are in one
# document), the examples, the icon, the desktop entry and the ".zr7" file type.
include(GNUInstallDirs)

install(TARGETS zr7-cli zr7-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zr7/Help)
install(FILES ${PROJECT_SOURCE_DIR}/examples/blink.zr7 ${PROJECT_SOURCE_DIR}/examples/blink.hex
              ${PROJECT_SOURCE_DIR}/examples/blink.eep ${PROJECT_SOURCE_DIR}/examples/blink.asm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zr7/examples)
install(FILES ${PROJECT_SOURCE_DIR}/data/zr7.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/zr7-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME zr7.xml)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/zr7.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

if(TARGET zr7)
  install(TARGETS zr7 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The PNG sizes are drawn by the program's own icon code at build time.
  set(ZR7_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
  add_custom_command(OUTPUT ${ZR7_ICON_DIR}/48x48/apps/zr7.png
                     COMMAND zr7-icons ${ZR7_ICON_DIR}
                     DEPENDS zr7-icons
                     COMMENT "Drawing the icon files")
  add_custom_target(zr7-icon-files ALL DEPENDS ${ZR7_ICON_DIR}/48x48/apps/zr7.png)
  install(DIRECTORY ${ZR7_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
endif()
