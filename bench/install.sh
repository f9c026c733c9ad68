#!/usr/bin/env bash
# Unattended installs (vnsetup --unattended): a one-disc set whose game.dat is the 2.25 GiB data file
# of the read benchmark, beside `cp -r` of its loose files + `cat` of the data file + `sync`; and a
# disc whose game.dat holds 30,000 tiny entries, beside `cp -r` of the disc + `sync`. Each idle and
# with one core busy.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
vnkit=$VN_BUILD_DIR/tools/vnkit/vnkit
vnsetup=$VN_BUILD_DIR/app/vnsetup
gen=$VN_BUILD_DIR/bench/make_archive
data=$VN_BENCH_DATA/install
read_data=$VN_BENCH_DATA/archive_read
if [ ! -x "$vnsetup" ]; then
  echo "install.sh: $vnsetup is missing (it needs Qt 6): skipped"
  exit 0
fi
mkdir -p "$data"
[ -f "$read_data/big.002" ] || "$gen" stored "$read_data/big.dat" 2304

# A disc with a few loose files and an archive; game.dat is replaced afterwards.
make_disc() {  # folder
  cat >"$data/set.json" <<'JSON'
{"settings": {"Title": "Bench", "DefaultFolder": "<ProgramFiles>\\Bench", "InstallType": 0,
              "ExeName": "game.sh"},
 "discs": [{"files": {"game.sh": {"text": "#!/bin/sh\n", "executable": true},
                      "sound\\bgm01.ogg": {"size": 4000000}, "sound\\bgm02.ogg": {"size": 3000000}},
            "archive": {"start.txt": {"text": "x"}}}]}
JSON
  rm -rf "$1"
  "$vnkit" disc build "$data/set.json" -o "$1" --launcher "$vnsetup" >/dev/null
}

big_disc=$data/big/disc1
if [ ! -f "$data/big/done" ]; then
  make_disc "$data/big"
  rm -f "$big_disc/game.dat"
  ln "$read_data/big.dat" "$big_disc/game.dat"
  ln "$read_data/big.001" "$big_disc/game.001"
  ln "$read_data/big.002" "$big_disc/game.002"
  touch "$data/big/done"
fi
clean="rm -rf $data/dest $data/copy $HOME/.config/vnsetup $XDG_DATA_HOME/applications"
compare install --runs 3 --prepare "$clean; sync" \
  -n "vnsetup --unattended" "$vnsetup --unattended --accept-license --folder $data/dest $big_disc" \
  -n "cp -r + cat + sync" "mkdir -p $data/copy && cp -r $big_disc/sound $big_disc/game.sh $data/copy/ && cat $big_disc/game.dat $big_disc/game.001 $big_disc/game.002 > $data/copy/game.dat && sync $data/copy/game.dat"
eval "$clean"

tiny_disc=$data/tiny/disc1
if [ ! -f "$data/tiny/done" ]; then
  make_disc "$data/tiny"
  "$gen" tiny "$data/tiny/files" 30000
  "$vnkit" pack "$data/tiny/files" -o "$tiny_disc/game.dat" >/dev/null
  touch "$data/tiny/done"
fi
# In the same call, for what the entries cost: the same disc with a one-entry game.dat, and the
# program's start alone.
[ -f "$data/one/done" ] || { make_disc "$data/one" && touch "$data/one/done"; }
compare install_tiny --warmup 2 --runs 15 --prepare "$clean; sync" \
  -n "vnsetup --unattended" "$vnsetup --unattended --accept-license --folder $data/dest $tiny_disc" \
  -n "cp -r + sync" "cp -r $tiny_disc $data/copy && sync $data/copy/game.dat" \
  -n "vnsetup --unattended, one entry" "$vnsetup --unattended --accept-license --folder $data/dest $data/one/disc1" \
  -n "vnsetup --help" "$vnsetup --help"
eval "$clean"
