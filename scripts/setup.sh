#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo, the benchmarks and the Windows cross
# build need.
# Idempotent: asks apt only for what is missing, and refreshes the package lists once when it has to.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config binutils
  zlib1g-dev libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev
  libcli11-dev nlohmann-json3-dev
  gettext  # msgfmt checks the English texts' catalogue
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev fonts-ipafont-gothic fonts-ipafont-mincho
  hyperfine zip unzip xdg-utils pigz
  libdeflate-dev jq time
  libisal-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest
  imagemagick python3-pil
  fonts-noto-cjk qt6-translations-l10n libxcb1-dev
  # Windows discs on Linux: disc images (libcdio, xorriso/genisoimage for the test images), Wine and
  # the Japanese locale's data for the test game, desktop-file-validate and dpkg-shlibdeps for packaging.
  libiso9660-dev libudf-dev xorriso genisoimage wine locales desktop-file-utils dpkg-dev
  g++-mingw-w64-i686-posix
  clang libclang-rt-14-dev
)
# The Windows programs' checks run under Wine (64-bit, and 32-bit from the i386 architecture) with
# Xvfb as their display; python3 reads pixels of their pictures.
packages+=(wine64 wine32:i386 xvfb xauth python3)

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
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
