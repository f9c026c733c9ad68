# Libraries for the Windows cross build (included by the top-level CMakeLists.txt when WIN32).
#
# zlib comes from Debian's libz-mingw-w64-dev. Debian has no mingw builds of libjpeg and libpng: when
# they are not found (a mingw build of them can be named with CMAKE_PREFIX_PATH), the imaging layer
# and the executables that need it (vnkit, vnsetup) are left out, and the rest builds.
if(VN_BUILD_TESTS OR VN_BUILD_BENCH)
  message(FATAL_ERROR "The Windows build has no tests or benchmarks: configure with -DVN_BUILD_TESTS=OFF")
endif()

option(VN_WINDOWS_CHECK "Build the checks of the Windows backend (tests/windows, run under Wine)" OFF)

# Windows 7 API level: RegDeleteTreeW, GetFinalPathNameByHandleW.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

# mingw's GCC 12 at -O3 reports string concatenations ("\"" + text + "\"") as overlapping copies,
# a known false alarm of that compiler (GCC bug 105329).
add_compile_options(-Wno-restrict)

# Static zlib, so the programs need no zlib1.dll beside them.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)
find_package(JPEG)
find_package(PNG)
if(NOT (JPEG_FOUND AND PNG_FOUND))
  message(STATUS "No libjpeg/libpng for Windows: the imaging layer, vnkit and vnsetup are not built")
  set(VN_HAVE_IMAGING OFF)
endif()

# nlohmann-json and CLI11 are header-only, so the build machine's headers serve. Only their own
# folders are put on the include path: /usr/include itself holds the build machine's C library.
function(vn_host_header_library target header)
  find_path(dir ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT dir)
    message(FATAL_ERROR "${header} not found: run scripts/setup.sh")
  endif()
  get_filename_component(folder ${header} DIRECTORY)
  set(shim ${CMAKE_BINARY_DIR}/host-headers/${target})
  file(MAKE_DIRECTORY ${shim})
  file(CREATE_LINK ${dir}/${folder} ${shim}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${shim})
  add_library(${ARGN} ALIAS ${target})
  unset(dir CACHE)
endfunction()
vn_host_header_library(vn_host_json nlohmann/json.hpp nlohmann_json::nlohmann_json)
vn_host_header_library(vn_host_cli11 CLI/CLI.hpp CLI11::CLI11)
