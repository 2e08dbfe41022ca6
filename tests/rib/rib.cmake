# Included by tests/CMakeLists.txt for test_rib, which compiles the reader's sources directly
# (everything but the plugin entry) and loads the built rib.generator.so once to check the entry
# point.
file(GLOB rib_reader_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/plugins/generators/rib/*.cpp)
list(FILTER rib_reader_sources EXCLUDE REGEX "/rib\\.cpp$")
target_sources(${target} PRIVATE ${rib_reader_sources})
target_link_libraries(${target} PRIVATE ZLIB::ZLIB ${CMAKE_DL_LIBS} ovoviewer ovori)
# The ovo command's option parsing, progress line and overriding renderer.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/apps/ovo/command_line.cpp
               ${CMAKE_SOURCE_DIR}/apps/ovo/override_renderer.cpp
               ${CMAKE_SOURCE_DIR}/apps/ovo/progress.cpp)
# The fuzz target's entry, so the suite replays its corpus and every input that once failed.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz/rib_fuzz.cpp)
