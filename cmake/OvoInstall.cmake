# Installation: cmake --install <build> --prefix P lays out
#   P/bin/ovo, P/bin/ovoslc               the commands
#   P/lib/libovo_cli.so                   what bin/ovo loads to render
#   P/lib/libovo.so.<version>             the core, with its SONAME link
#   P/lib/libovo_imageio.so               OpenImageIO's writers and texture system, which
#                                         libovo loads from its own folder when needed
#   P/lib/libovori.so.<version>           the C binding (header include/ovo/ri/ri.h)
#   P/lib/ovo/plugins/<name>.<kind>.so    the plugins
#   P/share/ovo/shaders/                  the compiled standard shaders and their sources
#   P/include/ovo/                        the public headers (core/, sys/, compiler/runtime*.h)
#   P/lib/cmake/OVO/                      find_package(OVO): OVO::ovo, ovo_add_plugin, ovo_add_shader
#   P/lib/pkgconfig/ovo.pc
# The installed libovo finds the plugins and shaders from its own location
# (core/plugins/installation.h), so nothing there needs OVO_HOME.
# Installed targets are built with their installed RUNPATH, which holds in both trees: a build
# RUNPATH that installing rewrites would carry CMake's padding, an empty entry that the loader
# reads as the current directory, and anyone's ./libstdc++.so.6 would be loaded from there.
include(CMakePackageConfigHelpers)

set(OVO_INSTALL_CMAKEDIR lib/cmake/OVO)

install(TARGETS ovo EXPORT OVOTargets LIBRARY DESTINATION lib)
set_target_properties(ovo PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
install(TARGETS ovo_imageio LIBRARY DESTINATION lib)
set_target_properties(ovo_imageio PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
# The C binding: lib/libovori.so and include/ovo/ri/ri.h (compile with -I P/include/ovo/ri).
install(TARGETS ovori EXPORT OVOTargets LIBRARY DESTINATION lib)
set_target_properties(ovori PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
install(FILES ${CMAKE_SOURCE_DIR}/ri/ri.h ${CMAKE_SOURCE_DIR}/ri/context.h
        DESTINATION include/ovo/ri)
install(TARGETS ovo_command ovoslc RUNTIME DESTINATION bin)
set_target_properties(ovo_command ovoslc PROPERTIES INSTALL_RPATH "$ORIGIN/../lib"
                      BUILD_WITH_INSTALL_RPATH ON)
# What bin/ovo loads to render: it looks for lib/libovo_cli.so beside its own bin/.
install(TARGETS ovo_cli LIBRARY DESTINATION lib)
set_target_properties(ovo_cli PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)

get_property(ovo_installed_plugins GLOBAL PROPERTY OVO_PLUGIN_TARGETS)
foreach(target ${ovo_installed_plugins})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "MODULE_LIBRARY" AND NOT target MATCHES "\\.shader$")
    install(TARGETS ${target} LIBRARY DESTINATION lib/ovo/plugins)
    # plugins/ beside lib/ in the build tree, lib/ovo/plugins when installed: the first never
    # sends the loader outside either tree.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../lib;$ORIGIN/../.."
                          BUILD_WITH_INSTALL_RPATH ON)
  endif()
endforeach()

# The shaders are made by custom commands: their files are installed as they are.
install(DIRECTORY ${CMAKE_BINARY_DIR}/shaders/ DESTINATION share/ovo/shaders
        FILES_MATCHING PATTERN "*.shader.so")
file(GLOB ovo_installed_shader_sources ${CMAKE_SOURCE_DIR}/shaders/*/*.sl
     ${CMAKE_SOURCE_DIR}/shaders/*/*.h)
install(FILES ${ovo_installed_shader_sources} DESTINATION share/ovo/shaders)

# The headers keep their folders, so `#include "core/math/matrix.h"` works as in the tree.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/core ${CMAKE_SOURCE_DIR}/sys DESTINATION include/ovo
        FILES_MATCHING PATTERN "*.h")
install(FILES ${CMAKE_SOURCE_DIR}/compiler/runtime.h ${CMAKE_SOURCE_DIR}/compiler/runtime_library.h
        DESTINATION include/ovo/compiler)

install(EXPORT OVOTargets NAMESPACE OVO:: DESTINATION ${OVO_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/OVOConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cmake/OVOConfig.cmake INSTALL_DESTINATION ${OVO_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/OVOConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/OVOConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/OVOConfigVersion.cmake
              ${CMAKE_SOURCE_DIR}/cmake/OvoOpenImageIO.cmake
        DESTINATION ${OVO_INSTALL_CMAKEDIR})

# pkg-config: the prefix is worked out from the .pc file's place, so the tree can move.
configure_file(${CMAKE_SOURCE_DIR}/cmake/ovo.pc.in ${CMAKE_BINARY_DIR}/cmake/ovo.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/cmake/ovo.pc DESTINATION lib/pkgconfig)

# The Debian package (scripts/package.sh runs cpack -G DEB on a build configured for /usr).
set(CPACK_PACKAGE_NAME ovo)
set(CPACK_PACKAGE_VENDOR "OVO")
set(CPACK_PACKAGE_CONTACT "OVO developers <ovo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "plugin-based ray-tracing renderer for RenderMan-style scenes")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# ovoslc turns shaders into C++ that the system's compiler builds against the OVO and
# OpenImageIO headers, so a shader author needs both.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libopenimageio2.4, libembree3-3, zlib1g, libopenimageio-dev, g++")
set(CPACK_STRIP_FILES ON)  # the package carries no debugging information
set(CPACK_GENERATOR DEB)
include(CPack)
