# Cross build of the Windows program on Linux with mingw-w64. The posix thread model is the
# one whose C++ library has std::thread and std::mutex. This file makes the 64-bit programs;
# mingw-w64-i686-posix.cmake sets KESTRION_MINGW_ARCH to i686 and includes it for the 32-bit
# ones.
if(NOT KESTRION_MINGW_ARCH)
  set(KESTRION_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KESTRION_MINGW_ARCH})
set(KESTRION_MINGW_PREFIX ${KESTRION_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${KESTRION_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRION_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRION_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${KESTRION_MINGW_PREFIX}-dlltool)  # import libraries (CMakeLists.txt)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRION_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs every Windows binary through Wine, in the build's own quiet prefix: a 64-bit
# one, or for the 32-bit programs a 32-bit one (tools/wine-run).
if(KESTRION_MINGW_ARCH STREQUAL "i686")
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEARCH=win32 ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
endif()
