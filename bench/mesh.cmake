# bench_mesh compares OVO's polygonMesh with raw Embree and loads the plugin from the build
# tree.
target_link_libraries(bench_mesh PRIVATE embree ${CMAKE_DL_LIBS})
if(TARGET polygonMesh.shape)
  add_dependencies(bench_mesh polygonMesh.shape)
endif()
