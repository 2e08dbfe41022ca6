# bench_mesh compares OVO's polygonMesh with raw Embree and loads the plugin from the build
# tree.
target_link_libraries(bench_mesh PRIVATE embree ${CMAKE_DL_LIBS})
