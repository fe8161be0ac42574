# The 32-bit Windows programs, for 32-bit Windows: the same cross build as the 64-bit ones.
set(KESTRION_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
