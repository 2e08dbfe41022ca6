# Included by tests/CMakeLists.txt for test_shapes: the suite opens the shape plugins itself.
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
