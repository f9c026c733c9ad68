#!/usr/bin/env bash
# Installs a build into a temporary root as `make install DESTDIR=...` does, and unpacks the Debian
# package CPack makes of it, and checks what lands in each: the programs run, the desktop entry is
# valid and offers vnsetup for Windows software discs and disc images (never for every folder), the
# icon, the image types and the copyright file are there.
# Usage: install_check.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fail() { echo "install_check: $*" >&2; exit 1; }

check_tree() {
  local prefix=$1 entry=$1/share/applications/vnsetup.desktop
  for f in bin/vnsetup bin/vnkit share/applications/vnsetup.desktop share/icons/hicolor/scalable/apps/vnsetup.svg \
    share/mime/packages/vnsetup.xml share/doc/vnsetup/copyright; do
    [ -f "$prefix/$f" ] || fail "$prefix/$f missing"
  done
  [ -x "$prefix/bin/vnsetup" ] && [ -x "$prefix/bin/vnkit" ] || fail "programs not executable in $prefix/bin"
  desktop-file-validate "$entry" || fail "$entry does not validate"
  grep -qx 'Exec=vnsetup --disc %f' "$entry" || fail "$entry: Exec does not open the disc"
  for type in x-content/win32-software application/x-cd-image application/x-cue application/x-nrg \
    application/x-clonecd-control; do
    grep -q "^MimeType=.*$type;" "$entry" || fail "$entry: MimeType lacks $type"
  done
  # xdg-open of any folder would start vnsetup where no file manager is the default.
  ! grep -q '^MimeType=.*inode/directory' "$entry" || fail "$entry claims every folder"
  env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/vnsetup" --help >/dev/null || fail "$prefix/bin/vnsetup --help failed"
  "$prefix/bin/vnkit" --help >/dev/null || fail "$prefix/bin/vnkit --help failed"
}

DESTDIR="$root/install" cmake --install "$build" --prefix /usr/local >/dev/null
check_tree "$root/install/usr/local"

# Uncompressed: the test builds are large, and compressing them says nothing about the package.
(cd "$build" && cpack -G DEB -B "$root/package" -D CPACK_DEBIAN_COMPRESSION_TYPE=none >/dev/null)
deb=$(ls "$root"/package/vnsetup_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libiso9660 libudf libpng locales; do
  grep -q "$lib" <<<"$depends" || fail "$deb: Depends lacks $lib ($depends)"
done
dpkg-deb -x "$deb" "$root/deb"
check_tree "$root/deb/usr"
echo "install_check: $(basename "$deb") ($(du -h "$deb" | cut -f1)), Depends: $depends"
