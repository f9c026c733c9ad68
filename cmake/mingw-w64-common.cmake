# What the mingw-w64 toolchain files share; each sets VN_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first.
# Debian's "posix" thread model gives std::thread and <mutex>.
set(CMAKE_SYSTEM_NAME Windows)

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

# The programs carry their C and C++ runtimes, so they start without mingw DLLs beside them; a
# Release build is stripped, as a program that goes on a disc should be.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
