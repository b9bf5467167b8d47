# Time limits, longer in sanitizer builds.
foreach(t 60 90 120)
  math(EXPR smoke_timeout_${t} "${t} * ${LUMENTA_TIMEOUT_FACTOR}")
  lumenta_watchdog(smoke_watchdog_${t} ${smoke_timeout_${t}})
endforeach()

# The real program on a virtual X server.
add_test(NAME smoke.StartAndQuit
         COMMAND ${smoke_watchdog_90} bash ${CMAKE_CURRENT_LIST_DIR}/smoke.sh $<TARGET_FILE:lumenta>)
set_tests_properties(smoke.StartAndQuit PROPERTIES TIMEOUT ${smoke_timeout_90})

# "cmake --install" lays out a desktop program.
add_test(NAME smoke.InstallLayout
         COMMAND ${smoke_watchdog_60} bash ${CMAKE_CURRENT_LIST_DIR}/install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(smoke.InstallLayout PROPERTIES TIMEOUT ${smoke_timeout_60})

# The real program started on a file, a folder and a missing path.
add_test(NAME smoke.CommandLine
         COMMAND ${smoke_watchdog_120} bash ${CMAKE_CURRENT_LIST_DIR}/cmdline.sh $<TARGET_FILE:lumenta> ${LUMENTA_FIXTURES})
set_tests_properties(smoke.CommandLine PROPERTIES TIMEOUT ${smoke_timeout_120})

# SIGTERM ends the program even after a sound has played.
add_test(NAME smoke.QuitOnSignal
         COMMAND ${smoke_watchdog_60} bash ${CMAKE_CURRENT_LIST_DIR}/signal.sh $<TARGET_FILE:lumenta> ${LUMENTA_FIXTURES})
set_tests_properties(smoke.QuitOnSignal PROPERTIES TIMEOUT ${smoke_timeout_60})

# The program with a driver inside, for displays no outside tool can send
# input to (smoke tests on Wayland).
add_executable(lumenta-driven ${PROJECT_SOURCE_DIR}/src/program/main.cpp
               ${PROJECT_SOURCE_DIR}/src/program/application.cpp
               ${PROJECT_SOURCE_DIR}/src/program/resources.qrc ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
target_include_directories(lumenta-driven PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(lumenta-driven PRIVATE lumenta_viewer Qt6::Test)

# At scale 2 a 1-pixel checkerboard at its natural size stays one on the
# screen: without a window manager and with openbox.
add_test(NAME smoke.ScaleTwoKeepsPicturePixels
         COMMAND ${smoke_watchdog_90} bash ${CMAKE_CURRENT_LIST_DIR}/hidpi.sh $<TARGET_FILE:lumenta>)
add_test(NAME smoke.ScaleTwoKeepsPicturePixelsUnderOpenbox
         COMMAND ${smoke_watchdog_90} bash ${CMAKE_CURRENT_LIST_DIR}/hidpi.sh $<TARGET_FILE:lumenta> openbox)
set_tests_properties(smoke.ScaleTwoKeepsPicturePixels smoke.ScaleTwoKeepsPicturePixelsUnderOpenbox
                     PROPERTIES TIMEOUT ${smoke_timeout_90})

# The real program on a headless Wayland compositor, at output scales 1 and 2.
add_test(NAME smoke.Wayland
         COMMAND ${smoke_watchdog_120} bash ${CMAKE_CURRENT_LIST_DIR}/wayland.sh $<TARGET_FILE:lumenta-driven>)
set_tests_properties(smoke.Wayland PROPERTIES TIMEOUT ${smoke_timeout_120})

# The X11 smoke tests again on a headless Wayland compositor.
foreach(case start cmdline signal)
  set(name_start StartAndQuitOnWayland)
  set(name_cmdline CommandLineOnWayland)
  set(name_signal QuitOnSignalOnWayland)
  add_test(NAME smoke.${name_${case}}
           COMMAND ${smoke_watchdog_120} bash ${CMAKE_CURRENT_LIST_DIR}/onwayland.sh ${case}
                   $<TARGET_FILE:lumenta-driven> ${LUMENTA_FIXTURES})
  set_tests_properties(smoke.${name_${case}} PROPERTIES TIMEOUT ${smoke_timeout_120})
endforeach()

# The scripts' own limits (the time to quit after SIGTERM) stretch as the watchdogs do.
set_tests_properties(smoke.QuitOnSignal smoke.Wayland smoke.QuitOnSignalOnWayland
                     PROPERTIES ENVIRONMENT "LUMENTA_TIMEOUT_FACTOR=${LUMENTA_TIMEOUT_FACTOR}")
