# The print server test asks CUPS about its jobs.
find_package(Cups REQUIRED)
target_link_libraries(printing_test_printing_cups PRIVATE Cups::Cups)
