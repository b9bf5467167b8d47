# The main window on a virtual X server whose root window gets a monitor
# profile (_ICC_PROFILE), as colour managers set it.
add_executable(viewer_x11_displaycolours ${CMAKE_CURRENT_LIST_DIR}/x11_displaycolours.cpp)
target_link_libraries(viewer_x11_displaycolours PRIVATE lumenta_test_support PkgConfig::TEST_XCB)
math(EXPR x11_colours_timeout "120 * ${LUMENTA_TIMEOUT_FACTOR}")
lumenta_watchdog(x11_colours_watchdog ${x11_colours_timeout})
add_test(NAME viewer.MonitorProfileOnTheRootWindowChangesWhatIsShown
         COMMAND ${x11_colours_watchdog} xvfb-run -a -s "-screen 0 1280x1024x24"
                 env QT_QPA_PLATFORM=xcb $<TARGET_FILE:viewer_x11_displaycolours>)
set_tests_properties(viewer.MonitorProfileOnTheRootWindowChangesWhatIsShown PROPERTIES
  TIMEOUT ${x11_colours_timeout}
  ENVIRONMENT "LC_ALL=C.UTF-8;XDG_RUNTIME_DIR=${test_runtime_dir}")
