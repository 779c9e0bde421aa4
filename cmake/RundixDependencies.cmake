# The declared dependencies, as imported targets that read the same on both builds:
#   rundix::tinyxml  rundix::jsoncpp  rundix::zlib  rundix::stb
# Linux: Debian's packages. Windows: zlib from Debian's MinGW package, stb's header, TinyXML
# and JsonCpp compiled from Debian's source packages that scripts/setup.sh fetches into .deps.

set(RUNDIX_DEPS_DIR ${CMAKE_SOURCE_DIR}/.deps CACHE PATH "Fetched dependency sources")

add_library(rundix_stb INTERFACE)
add_library(rundix::stb ALIAS rundix_stb)
if(NOT EXISTS /usr/include/stb/stb_image.h)
  message(FATAL_ERROR "stb_image.h not found: run scripts/setup.sh")
endif()
include(RundixStbImage)
rundix_mend_stb_image(/usr/include/stb/stb_image.h ${CMAKE_BINARY_DIR}/stb-mended/stb_image.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             /usr/include/stb/stb_image.h ${CMAKE_SOURCE_DIR}/cmake/RundixStbImage.cmake)
# Only stb's own folder: /usr/include would pull Linux headers into the cross build. The
# mended stb_image.h comes first; stb_image_write.h is stb's own.
target_include_directories(rundix_stb SYSTEM BEFORE INTERFACE ${CMAKE_BINARY_DIR}/stb-mended /usr/include/stb)

if(WIN32)
  function(rundix_find_source var pattern)
    file(GLOB candidates LIST_DIRECTORIES true "${RUNDIX_DEPS_DIR}/src/${pattern}")
    list(FILTER candidates EXCLUDE REGEX "\\.(dsc|tar\\..*|diff\\..*)$")
    list(SORT candidates)
    list(POP_BACK candidates found)
    if(NOT found)
      message(FATAL_ERROR "No source of ${pattern} under ${RUNDIX_DEPS_DIR}/src: run scripts/setup.sh")
    endif()
    set(${var} ${found} PARENT_SCOPE)
  endfunction()

  rundix_find_source(TINYXML_SRC "tinyxml-*")
  add_library(rundix_tinyxml STATIC
    ${TINYXML_SRC}/tinyxml.cpp ${TINYXML_SRC}/tinystr.cpp
    ${TINYXML_SRC}/tinyxmlerror.cpp ${TINYXML_SRC}/tinyxmlparser.cpp)
  target_include_directories(rundix_tinyxml SYSTEM PUBLIC ${TINYXML_SRC})
  target_compile_definitions(rundix_tinyxml PUBLIC TIXML_USE_STL)
  target_compile_options(rundix_tinyxml PRIVATE -w)

  rundix_find_source(JSONCPP_SRC "libjsoncpp-*")
  file(GLOB JSONCPP_SOURCES ${JSONCPP_SRC}/src/lib_json/*.cpp)
  add_library(rundix_jsoncpp STATIC ${JSONCPP_SOURCES})
  target_include_directories(rundix_jsoncpp SYSTEM PUBLIC ${JSONCPP_SRC}/include)
  target_include_directories(rundix_jsoncpp PRIVATE ${JSONCPP_SRC}/src/lib_json)
  target_compile_options(rundix_jsoncpp PRIVATE -w)

  find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)
  find_path(MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(rundix_zlib INTERFACE)
  target_link_libraries(rundix_zlib INTERFACE ${MINGW_ZLIB})
  target_include_directories(rundix_zlib SYSTEM INTERFACE ${MINGW_ZLIB_INCLUDE})

  if(RUNDIX_TESTS)
    # GoogleTest from Debian's source, built with the cross compiler.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
  add_library(rundix_tinyxml INTERFACE)
  target_link_libraries(rundix_tinyxml INTERFACE PkgConfig::TINYXML)
  # Debian builds its TinyXML with the STL interface.
  target_compile_definitions(rundix_tinyxml INTERFACE TIXML_USE_STL)

  pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  add_library(rundix_jsoncpp INTERFACE)
  target_link_libraries(rundix_jsoncpp INTERFACE PkgConfig::JSONCPP)

  find_package(ZLIB REQUIRED)
  add_library(rundix_zlib INTERFACE)
  target_link_libraries(rundix_zlib INTERFACE ZLIB::ZLIB)

  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  find_package(Threads REQUIRED)
  if(RUNDIX_TESTS)
    find_package(GTest REQUIRED)
  endif()
  if(RUNDIX_BENCHMARKS)
    find_package(benchmark REQUIRED)
  endif()
endif()

add_library(rundix::tinyxml ALIAS rundix_tinyxml)
add_library(rundix::jsoncpp ALIAS rundix_jsoncpp)
add_library(rundix::zlib ALIAS rundix_zlib)
