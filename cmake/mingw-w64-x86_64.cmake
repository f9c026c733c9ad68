# Cross build for 64-bit Windows with Debian's mingw-w64 compiler (the "posix" thread model, which
# gives std::thread and <mutex>). Use:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVN_BUILD_GUI=OFF -DVN_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VN_MINGW_PREFIX}-windres)

# Libraries and headers come only from the mingw tree (libz-mingw-w64-dev puts zlib there), never
# from the build machine's /usr; programs (the build tools) only from the build machine.
# Folders named in CMAKE_PREFIX_PATH (a mingw build of libjpeg and libpng, say) are searched as well.
set(CMAKE_FIND_ROOT_PATH /usr/${VN_MINGW_PREFIX} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C and C++ runtimes, so they start without mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
