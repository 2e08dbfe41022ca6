# Included by tests/CMakeLists.txt for test_ri: a host program written in C against the binding,
# and a "DynamicLoad" object that links nothing (its Ri calls resolve against the renderer's).
target_link_libraries(${target} PRIVATE ovori)
add_executable(ri_host_sphere ${CMAKE_CURRENT_SOURCE_DIR}/ri/host_sphere.c)
target_include_directories(ri_host_sphere PRIVATE ${CMAKE_SOURCE_DIR}/ri)
target_link_libraries(ri_host_sphere PRIVATE ovori)
set_target_properties(ri_host_sphere PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/tests/ri)
add_library(ri_squares MODULE ${CMAKE_CURRENT_SOURCE_DIR}/ri/squares_object.c)
target_include_directories(ri_squares PRIVATE ${CMAKE_SOURCE_DIR}/ri)
set_target_properties(ri_squares PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/tests/ri)
add_dependencies(${target} ri_host_sphere ri_squares)
target_compile_definitions(${target} PRIVATE OVO_RI_TEST_DIR="${CMAKE_BINARY_DIR}/tests/ri")
