# Cross build for 32-bit Windows (the platform the discs are made for) with Debian's mingw-w64
# compiler (g++-mingw-w64-i686-posix). Use as cmake/mingw-w64-x86_64.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VN_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
