# Cross build for 32-bit Windows with Debian's mingw-w64 toolchain
# (g++-mingw-w64-i686). The posix thread model is used so that any part of the
# C++ library works; with the static runtime (-static, set by the top-level
# CMakeLists on WIN32) the DLLs and programs depend on system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(AUCAL_MINGW_PREFIX i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${AUCAL_MINGW_PREFIX}-gcc-posix ${AUCAL_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${AUCAL_MINGW_PREFIX}-g++-posix ${AUCAL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${AUCAL_MINGW_PREFIX}-windres REQUIRED)
find_program(AUCAL_MINGW_OBJDUMP NAMES ${AUCAL_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${AUCAL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs built here run under Wine.
find_program(AUCAL_WINE NAMES wine)
if(AUCAL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${AUCAL_WINE})
endif()
