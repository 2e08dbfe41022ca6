# Raw Embree 3 is the reference the accelerator is measured against; the shapes and the
# accelerator themselves are loaded as plugins at run time.
target_link_libraries(bench_bvh PRIVATE embree ${CMAKE_DL_LIBS})
