# The player's tests run the built program as well.
target_link_libraries(aawin_test_aawin PRIVATE aawin_core)
add_dependencies(aawin_test_aawin aawin)
