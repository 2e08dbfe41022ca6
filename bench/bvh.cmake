# Raw Embree 3 is the reference the accelerator is measured against; the shapes and the
# accelerator themselves are loaded as plugins at run time.
target_link_libraries(bench_bvh PRIVATE embree ${CMAKE_DL_LIBS})
add_dependencies(bench_bvh bvh.accelerator)
foreach(plugin sphere.shape polygon.shape)
  if(TARGET ${plugin})
    add_dependencies(bench_bvh ${plugin})
  endif()
endforeach()
