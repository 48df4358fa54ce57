# The desktop program itself: build/zr7, with the simulator linked in for --simulator.
# The application object lives here rather than in zr7gui, so the widget library itself
# does not depend on the simulator.
if(ZR7_BUILD_GUI AND TARGET zr7gui)
  add_executable(zr7 ${PROJECT_SOURCE_DIR}/src/app/gui_main.cpp ${PROJECT_SOURCE_DIR}/src/app/ProgrammerApp.cpp)
  target_link_libraries(zr7 PRIVATE zr7gui zr7sim)
endif()

# Pictures of the program for the README and for review: make screenshots.
if(ZR7_BUILD_GUI AND TARGET zr7gui)
  add_executable(zr7-screenshots ${PROJECT_SOURCE_DIR}/src/app/ProgrammerAppScreenshots.cpp)
  target_link_libraries(zr7-screenshots PRIVATE zr7gui zr7sim)
endif()

# The help document sits next to the program, where the Help command looks for it.
if(ZR7_BUILD_GUI AND TARGET zr7)
  add_custom_command(TARGET zr7 POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/Help $<TARGET_FILE_DIR:zr7>/Help)
endif()
