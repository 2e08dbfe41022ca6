# OpenImageIO's own CMake package on Debian 12 names an OpenCV include folder that its -dev
# package does not install, so the imported targets are made here from the headers and libraries.
# Included by the build and by the installed package's OVOConfig.cmake.
if(TARGET OpenImageIO::OpenImageIO)
  return()
endif()
find_path(OIIO_INCLUDE_DIR OpenImageIO/imageio.h REQUIRED)
find_library(OIIO_LIBRARY OpenImageIO REQUIRED)
find_library(OIIO_UTIL_LIBRARY OpenImageIO_Util REQUIRED)
add_library(OpenImageIO::OpenImageIO_Util UNKNOWN IMPORTED)
set_target_properties(OpenImageIO::OpenImageIO_Util PROPERTIES
  IMPORTED_LOCATION ${OIIO_UTIL_LIBRARY} INTERFACE_INCLUDE_DIRECTORIES ${OIIO_INCLUDE_DIR})
add_library(OpenImageIO::OpenImageIO UNKNOWN IMPORTED)
set_target_properties(OpenImageIO::OpenImageIO PROPERTIES
  IMPORTED_LOCATION ${OIIO_LIBRARY} INTERFACE_INCLUDE_DIRECTORIES ${OIIO_INCLUDE_DIR}
  INTERFACE_LINK_LIBRARIES OpenImageIO::OpenImageIO_Util)
