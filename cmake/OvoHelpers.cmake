# Helpers shared by the plugin, shader and test folders.

# ovo_add_plugin(NAME KIND SOURCES ...): builds <NAME>.<KIND>.so, no "lib" prefix,
# into build/plugins (or build/shaders for KIND shader), linked against libovo.
function(ovo_add_plugin NAME KIND)
  set(target ${NAME}.${KIND})
  add_library(${target} MODULE ${ARGN})
  target_link_libraries(${target} PRIVATE ovo)
  if(KIND STREQUAL "shader")
    set(outdir ${CMAKE_BINARY_DIR}/shaders)
  else()
    set(outdir ${CMAKE_BINARY_DIR}/plugins)
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${NAME}.${KIND}
    LIBRARY_OUTPUT_DIRECTORY ${outdir})
  set_property(GLOBAL APPEND PROPERTY OVO_PLUGIN_TARGETS ${target})
endfunction()

# ovo_add_plugin_folder(DIR KIND): every DIR/<name>.cpp is the plugin <name>.<KIND>;
# every sub-folder DIR/<name>/ holding .cpp files is one plugin made of all of them.
function(ovo_add_plugin_folder DIR KIND)
  file(GLOB entries CONFIGURE_DEPENDS ${DIR}/*)
  foreach(entry ${entries})
    get_filename_component(name ${entry} NAME_WE)
    if(IS_DIRECTORY ${entry})
      file(GLOB srcs CONFIGURE_DEPENDS ${entry}/*.cpp)
      if(srcs)
        ovo_add_plugin(${name} ${KIND} ${srcs})
      endif()
    elseif(entry MATCHES "\\.cpp$")
      ovo_add_plugin(${name} ${KIND} ${entry})
    endif()
  endforeach()
endfunction()
