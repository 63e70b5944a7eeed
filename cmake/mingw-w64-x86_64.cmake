# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX threads flavour):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Programs of this build run here under Wine (see wine-run beside this file).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RARIDUZE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RARIDUZE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RARIDUZE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RARIDUZE_MINGW_TRIPLET}-windres)
# Finds the Windows builds of libraries (zlib, libgcrypt) through their .pc files.
set(PKG_CONFIG_EXECUTABLE ${RARIDUZE_MINGW_TRIPLET}-pkg-config)

set(CMAKE_FIND_ROOT_PATH /usr/${RARIDUZE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools of this build are started through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
