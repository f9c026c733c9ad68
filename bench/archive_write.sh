#!/usr/bin/env bash
# Writing archives: `vnkit pack` of a game's files (pictures, sound, text) against `tar | pigz -6`
# and of 800 text files against `zip -6 -r`; `vnkit merge` of 100,000 tiny entries into a new data
# file against `cp` of the same bytes, and of a data file over 2 GiB against `cat` appending it.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
vnkit=$VN_BUILD_DIR/tools/vnkit/vnkit
gen=$VN_BUILD_DIR/bench/make_archive
data=$VN_BENCH_DATA/archive_write
read_data=$VN_BENCH_DATA/archive_read
mkdir -p "$data"

# the same inputs as the read benchmark
[ -f "$read_data/big.002" ] || "$gen" stored "$read_data/big.dat" 2304
[ -d "$data/files" ] || "$gen" files "$data/files" 800 256
if [ ! -f "$data/game.done" ]; then
  rm -rf "$data/game"
  "$gen" game "$data/game"
  touch "$data/game.done"
fi
[ -f "$data/tiny100k.dat" ] || "$gen" tiny-archive "$data/tiny100k.dat" 100000

# (each command removes its own output: a --prepare would remove the other one's too)
compare pack_game --runs 2 \
  -n "vnkit pack" "rm -f $data/game.vf && $vnkit pack $data/game -o $data/game.vf" \
  -n "tar | pigz -6" "tar -cf - -C $data/game . | pigz -6 > $data/game.tar.gz"
# the output sizes beside the times
du -sb "$data/game" | cut -f1 >"$results/pack_game_bytes"
stat -c %s "$data/game.vf" "$data/game.tar.gz" >>"$results/pack_game_bytes"

hyperfine --warmup 1 --runs 3 --export-json "$results/pack.json" \
  --prepare "rm -f $data/packed.dat $data/files.zip" \
  -n "vnkit pack" "$vnkit pack $data/files -o $data/packed.dat" \
  -n "zip -6 -r" "cd $data/files && zip -q -6 -r $data/files.zip ."

compare merge_tiny --warmup 2 --runs 20 \
  --prepare "rm -f $data/tiny.dat $data/tiny.ext $data/tiny-copy.dat" \
  -n "vnkit merge" "$vnkit merge $data/tiny.dat $data/tiny100k.dat" \
  -n "cp" "cp $data/tiny100k.dat $data/tiny-copy.dat"

# Merging writes the data to disk before the directory that points into it, so the comparison
# appends with cat and then syncs the file as well.
hyperfine --warmup 1 --runs 3 --export-json "$results/merge.json" \
  --prepare "rm -f $data/game.dat $data/game.ext $data/game.0* $data/cat.dat; sync" \
  -n "vnkit merge" "$vnkit merge $data/game.dat $read_data/big.dat" \
  -n "cat >> + sync" "cat $read_data/big.dat $read_data/big.001 $read_data/big.002 >> $data/cat.dat && sync $data/cat.dat" \
  -n "cat >>" "cat $read_data/big.dat $read_data/big.001 $read_data/big.002 >> $data/cat.dat"
rm -f "$data"/game.dat "$data"/game.ext "$data"/game.0* "$data/cat.dat" "$data/packed.dat" "$data/files.zip" \
  "$data/game.vf" "$data/game.tar.gz" "$data"/tiny.* "$data/tiny-copy.dat"
