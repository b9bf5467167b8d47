# The player's tests run the built program as well.
add_dependencies(aawin_test_aawin aawin)
