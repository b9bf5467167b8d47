# The real program on a virtual X server.
add_test(NAME smoke.StartAndQuit
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/smoke.sh $<TARGET_FILE:lumenta>)
set_tests_properties(smoke.StartAndQuit PROPERTIES TIMEOUT 90)

# "cmake --install" lays out a desktop program.
add_test(NAME smoke.InstallLayout
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(smoke.InstallLayout PROPERTIES TIMEOUT 60)
