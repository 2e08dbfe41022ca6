# bench_patterns renders scenes/patterns.rib from the source tree.
target_compile_definitions(bench_patterns PRIVATE OVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
