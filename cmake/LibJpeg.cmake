# libjpeg (libjpeg-turbo from Debian's source package), built once for the
# target and cached in the build tree. Provides the imported target `jpeg`.
include(ExternalProject)
set(QV_JPEG_SRC ${CMAKE_BINARY_DIR}/deps/libjpeg-turbo-src)
set(QV_JPEG_PREFIX ${CMAKE_BINARY_DIR}/deps/libjpeg)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/deps ${QV_JPEG_PREFIX}/include)
ExternalProject_Add(libjpeg_turbo
  SOURCE_DIR ${QV_JPEG_SRC}
  BINARY_DIR ${CMAKE_BINARY_DIR}/deps/libjpeg-build
  INSTALL_DIR ${QV_JPEG_PREFIX}
  DOWNLOAD_COMMAND ${CMAKE_SOURCE_DIR}/scripts/fetch-libjpeg.sh ${QV_JPEG_SRC}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCMAKE_C_FLAGS=-msse2\ -mfpmath=sse
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=ON
  BUILD_BYPRODUCTS ${QV_JPEG_PREFIX}/lib/libjpeg.a
  UPDATE_DISCONNECTED ON
  LOG_DOWNLOAD ON LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
add_library(jpeg STATIC IMPORTED GLOBAL)
set_target_properties(jpeg PROPERTIES
  IMPORTED_LOCATION ${QV_JPEG_PREFIX}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${QV_JPEG_PREFIX}/include)
add_dependencies(jpeg libjpeg_turbo)
