# Included by tests/CMakeLists.txt for test_geometry: the suite opens the accelerator and solid
# plugins it tests itself.
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
