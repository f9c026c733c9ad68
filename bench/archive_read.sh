#!/usr/bin/env bash
# Reading archives: `vnkit verify` of a data file over 2 GiB split into part files against `cat` of
# the same files (idle and with one core busy), and `vnkit extract` of compressed entries against
# `unzip` of the same files.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
vnkit=$VN_BUILD_DIR/tools/vnkit/vnkit
gen=$VN_BUILD_DIR/bench/make_archive
data=$VN_BENCH_DATA/archive_read
mkdir -p "$data"

# 2.25 GiB of stored entries: big.dat, big.001, big.002
[ -f "$data/big.002" ] || "$gen" stored "$data/big.dat" 2304
# 800 text-like files of 128 to 384 KiB (about 200 MiB), as a zip and as an archive
if [ ! -f "$data/files.done" ]; then
  rm -rf "$data/files" "$data/files.zip"
  "$gen" files "$data/files" 800 256
  (cd "$data/files" && zip -q -6 -r ../files.zip .)
  "$gen" pack "$data/files" "$data/packed.dat"
  touch "$data/files.done"
fi

compare verify --warmup 1 --runs 5 \
  -n "vnkit verify" "$vnkit verify $data/big.dat" \
  -n "cat" "cat $data/big.dat $data/big.001 $data/big.002 >/dev/null"
hyperfine --warmup 1 --runs 3 --export-json "$results/extract.json" \
  --prepare "rm -rf $data/out-vnkit $data/out-unzip" \
  -n "vnkit extract" "$vnkit extract $data/packed.dat -o $data/out-vnkit" \
  -n "unzip" "unzip -q -o $data/files.zip -d $data/out-unzip"
rm -rf "$data/out-vnkit" "$data/out-unzip"
