# Cross build for 64-bit Windows with Debian's mingw-w64 compiler. Use:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVN_BUILD_GUI=OFF -DVN_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VN_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
