#!/usr/bin/env bash
# Writing archives: `vnkit pack` of a folder against `zip -6 -r`, and `vnkit merge` of a data file
# over 2 GiB into a new installed data file against `cat` appending the same bytes.
set -euo pipefail
vnkit=$VN_BUILD_DIR/tools/vnkit/vnkit
gen=$VN_BUILD_DIR/bench/make_archive
data=$VN_BENCH_DATA/archive_write
read_data=$VN_BENCH_DATA/archive_read
mkdir -p "$data"

# the same inputs as the read benchmark
[ -f "$read_data/big.002" ] || "$gen" stored "$read_data/big.dat" 2304
[ -d "$data/files" ] || "$gen" files "$data/files" 800 256

results=$VN_BENCH_DATA/results
mkdir -p "$results"
hyperfine --warmup 1 --runs 3 --export-json "$results/pack.json" \
  --prepare "rm -f $data/packed.dat $data/files.zip" \
  -n "vnkit pack" "$vnkit pack $data/files -o $data/packed.dat" \
  -n "zip -6 -r" "cd $data/files && zip -q -6 -r $data/files.zip ."

# Merging writes the data to disk before the directory that points into it, so the comparison
# appends with cat and then syncs the file as well.
hyperfine --warmup 1 --runs 3 --export-json "$results/merge.json" \
  --prepare "rm -f $data/game.dat $data/game.ext $data/game.0* $data/cat.dat; sync" \
  -n "vnkit merge" "$vnkit merge $data/game.dat $read_data/big.dat" \
  -n "cat >> + sync" "cat $read_data/big.dat $read_data/big.001 $read_data/big.002 >> $data/cat.dat && sync $data/cat.dat" \
  -n "cat >>" "cat $read_data/big.dat $read_data/big.001 $read_data/big.002 >> $data/cat.dat"
rm -f "$data"/game.* "$data/cat.dat" "$data/packed.dat" "$data/files.zip"
