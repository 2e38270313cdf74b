# The libraries the Windows aucal.exe links statically, from the cache that
# tools/windows-deps.sh fills (make win32 runs it first): LittleCMS, zlib,
# libpng, libtiff and libjpeg-turbo built for 32-bit Windows, as imported
# targets of the names the native build's find modules give. The header-only
# CLI11 and nlohmann/json of the machine are copied beside them, so that the
# cross compiler never searches the machine's own /usr/include.
set(AUCAL_WINDOWS_DEPS ${CMAKE_BINARY_DIR}/deps CACHE PATH
    "LittleCMS, zlib, libpng, libtiff and libjpeg-turbo for Windows (tools/windows-deps.sh)")
if(NOT EXISTS ${AUCAL_WINDOWS_DEPS}/versions.txt)
  message(FATAL_ERROR "The Windows libraries are missing from ${AUCAL_WINDOWS_DEPS}: run "
                      "'bash tools/windows-deps.sh ${AUCAL_WINDOWS_DEPS}' (make win32 does)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${AUCAL_WINDOWS_DEPS}/versions.txt)

function(aucal_windows_dep target file)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${AUCAL_WINDOWS_DEPS}/lib/${file}
                        INTERFACE_INCLUDE_DIRECTORIES ${AUCAL_WINDOWS_DEPS}/include
                        INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()
aucal_windows_dep(ZLIB::ZLIB libz.a)
aucal_windows_dep(JPEG::JPEG libjpeg.a)
aucal_windows_dep(PNG::PNG libpng16.a ZLIB::ZLIB)
aucal_windows_dep(TIFF::TIFF libtiff.a JPEG::JPEG ZLIB::ZLIB)
aucal_windows_dep(PkgConfig::LCMS2 liblcms2.a)
# The simulators' find_package(ZLIB) takes the same library.
set(ZLIB_LIBRARY ${AUCAL_WINDOWS_DEPS}/lib/libz.a CACHE FILEPATH "" FORCE)
set(ZLIB_INCLUDE_DIR ${AUCAL_WINDOWS_DEPS}/include CACHE PATH "" FORCE)

set(header_only ${CMAKE_BINARY_DIR}/header-only)
foreach(dir CLI nlohmann)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing (make deps installs it)")
  endif()
  file(COPY /usr/include/${dir} DESTINATION ${header_only})
endforeach()
add_library(aucal_header_only INTERFACE)
target_include_directories(aucal_header_only SYSTEM INTERFACE ${header_only})
add_library(nlohmann_json::nlohmann_json ALIAS aucal_header_only)
