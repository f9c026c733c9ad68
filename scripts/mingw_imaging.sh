#!/usr/bin/env bash
# Builds libjpeg-turbo and libpng for the Windows cross build from Debian's own source packages (Debian
# ships no mingw builds of them) into OUT/ARCH (ARCH: x86_64, the default, or i686), so the imaging
# layer, vnkit.exe and vnsetup.exe can be built. Does nothing when they are built already; the
# sources are fetched once into OUT/src for both architectures.
#
# `apt-get source` needs the archive's source lists: when they are missing this adds
# /etc/apt/sources.list.d/vnsetup-sources.list (deb-src of the same Debian release) once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-build-win-deps}")
arch=${2:-x86_64}
toolchain="$root/cmake/mingw-w64-$arch.cmake"
[ -f "$toolchain" ] || { echo "mingw_imaging: no toolchain for $arch ($toolchain)" >&2; exit 2; }
prefix="$out/$arch"
if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/lib/libpng.a" ]; then exit 0; fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

mkdir -p "$out/src"
cd "$out/src"
if ! ls -d libjpeg-turbo-*/ libpng1.6-*/ >/dev/null 2>&1; then
  if ! apt-get source -qq libjpeg-turbo libpng1.6 >/dev/null 2>&1; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $codename main" |
      $sudo tee /etc/apt/sources.list.d/vnsetup-sources.list >/dev/null
    $sudo apt-get update -qq
    apt-get source -qq libjpeg-turbo libpng1.6 >/dev/null
  fi
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
build() {  # NAME SOURCE-DIR CMAKE-OPTIONS...
  local name=$1 src=$2
  shift 2
  cmake -S "$src" -B "$out/build-$name-$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "${launcher[@]}" "$@" >/dev/null
  cmake --build "$out/build-$name-$arch" -j "$(nproc)" >/dev/null
  cmake --install "$out/build-$name-$arch" >/dev/null
}
# No SIMD (that would need nasm); static libraries only, so the programs need no DLLs.
build jpeg "$(ls -d libjpeg-turbo-*/ | head -1)" -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF
build png "$(ls -d libpng1.6-*/ | head -1)" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_USE_STATIC_LIBS=ON
echo "mingw libjpeg and libpng ($arch) in $prefix"
