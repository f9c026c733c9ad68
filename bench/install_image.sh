#!/usr/bin/env bash
# Installs from disc images, read in place: the one-disc set of the install benchmark (a 2.25 GiB
# game.dat in three parts, loose sound files) installed unattended from its folder, from a Joliet +
# Rock Ridge ISO image and from a UDF-only image, in one hyperfine call, idle and with one core busy.
# TMPDIR names a file during the runs: a run that wanted a byte of temporary space would fail.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
vnsetup=$VN_BUILD_DIR/app/vnsetup
disc=$VN_BENCH_DATA/install/big/disc1  # made by install.sh
data=$VN_BENCH_DATA/install_image
if [ ! -x "$vnsetup" ] || [ ! -d "$disc" ]; then
  echo "install_image.sh: $vnsetup or the install benchmark's disc is missing: skipped"
  exit 0
fi
if ! command -v xorriso >/dev/null || ! command -v genisoimage >/dev/null; then
  echo "install_image.sh: xorriso or genisoimage missing (scripts/setup.sh): skipped"
  exit 0
fi
mkdir -p "$data"
if [ ! -f "$data/done" ]; then
  xorriso -as mkisofs -quiet -J -R -o "$data/disc1.iso" "$disc"
  genisoimage -quiet -udf -J -o "$data/disc1-udf.iso" "$disc"
  # UDF only: the ISO 9660 volume descriptors blanked, the UDF ones kept in their place
  python3 - "$data/disc1-udf.iso" <<'PY'
import sys
sector = 2048
with open(sys.argv[1], "r+b") as f:
    f.seek(16 * sector)
    area = f.read(16 * sector)
    kept = b"".join(area[i * sector:(i + 1) * sector] for i in range(16)
                    if area[i * sector + 1:i * sector + 6] in (b"BEA01", b"NSR02", b"NSR03", b"TEA01"))
    assert len(kept) == 3 * sector, "no UDF descriptors"
    f.seek(16 * sector)
    f.write(kept.ljust(16 * sector, b"\0"))
PY
  touch "$data/done"
fi
stat -c %s "$data/disc1.iso" >"$results/install_image_bytes"
: >"$data/no-tmp"  # a file: nothing can be made under it
clean="rm -rf $data/dest $HOME/.config/vnsetup $XDG_DATA_HOME/applications"
install() { echo "TMPDIR=$data/no-tmp $vnsetup --unattended --accept-license --folder $data/dest $1"; }
compare install_image --runs 3 --prepare "$clean; sync" \
  -n "from the folder" "$(install "$disc")" \
  -n "from the ISO image" "$(install "$data/disc1.iso")" \
  -n "from the UDF-only image" "$(install "$data/disc1-udf.iso")"
eval "$clean"
