# The full-screen window decodes pictures on a worker thread.
find_package(Qt6 REQUIRED COMPONENTS Concurrent)
target_link_libraries(lumenta_core PUBLIC Qt6::Concurrent)
