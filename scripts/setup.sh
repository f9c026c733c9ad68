#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo, the benchmarks and the Windows cross
# build need.
# Idempotent: asks apt only for what is missing, and refreshes the package lists once when it has to.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config binutils
  zlib1g-dev libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev fonts-ipafont-gothic fonts-ipafont-mincho
  hyperfine zip unzip xdg-utils
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest
  imagemagick python3-pil
  fonts-noto-cjk qt6-translations-l10n libxcb1-dev
  # Windows discs on Linux: disc images (libcdio, xorriso/genisoimage for the test images), Wine and
  # the Japanese locale's data for the test game, desktop-file-validate and dpkg-shlibdeps for packaging.
  libiso9660-dev libudf-dev xorriso genisoimage wine wine64 locales desktop-file-utils dpkg-dev
  clang libclang-rt-14-dev
)
# `setup.sh wine` adds Wine, which runs the Windows build's check program (`make windows-check`);
# it is large (about 700 MB), so nothing else asks for it.
if [ "${1:-}" = wine ]; then
  packages+=(wine64)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
