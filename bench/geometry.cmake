# bench_geometry loads the shape plugins from the build tree.
target_link_libraries(bench_geometry PRIVATE ${CMAKE_DL_LIBS})
