# Cross build for 32-bit Windows with mingw-w64 (Debian's posix-threads flavour).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain_mingw.cmake)
