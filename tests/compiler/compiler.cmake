# The compiler's suite links the compiler library; its tests run ovoslc's driver, which needs
# the C++ compiler and the headers of this tree.
target_link_libraries(test_compiler PRIVATE ovocompiler)
add_dependencies(test_compiler ovoslc)
# The fuzz target's entry, so that the suite replays its corpus and every input that once
# failed.
target_sources(test_compiler PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz/slc_fuzz.cpp)
