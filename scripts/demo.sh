#!/usr/bin/env bash
# The demo, run by `make demo` with the build folder as argument. For now it writes install.dat
# files of several eras (headerless version 0 up to 108, Japanese texts) and reads each back with
# `vnkit settings show`. Everything happens under BUILD/demo, with HOME and XDG_* pointed there.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
vnkit="$build/tools/vnkit/vnkit"
if [ ! -x "$vnkit" ]; then
  echo "demo: $vnkit is missing (run: make demo)" >&2
  exit 2
fi

root="$build/demo"
rm -rf "$root"
mkdir -p "$root/home" "$root/run" "$root/tmp" "$root/discs"
chmod 700 "$root/run"
export HOME="$root/home" TMPDIR="$root/tmp" XDG_RUNTIME_DIR="$root/run"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"

# --- A tiny writer for the older layouts (vnkit writes only the current version 108) ----------

# le VALUE BYTES: a little-endian integer
le() {
  local i
  for ((i = 0; i < $2; i++)); do
    # shellcheck disable=SC2059
    printf "\\x$(printf %02x $((($1 >> (8 * i)) & 255)))"
  done
}
# lstr UTF8: int32 byte count and the Shift-JIS bytes
lstr() {
  local len
  len=$(printf %s "$1" | iconv -f UTF-8 -t CP932 | wc -c)
  le "$len" 4
  printf %s "$1" | iconv -f UTF-8 -t CP932
}
# size VALUE: int64 from version 100 on, int32 before
size() { if ((version >= 100)); then le "$1" 8; else le "$1" 4; fi; }

# old_settings VERSION: the sample product as a file of that version lays it out
old_settings() {
  local version=$1
  if ((version > 0)); then printf 'is%03d' "$version"; fi
  le 0 4                                         # DiscIndex
  lstr "夢の続き 第${version}版"                     # Title
  lstr "(C) 2003 ソフトハウス表"                       # FooterText
  lstr '<ProgramFiles>\ソフトハウス\夢の続き'          # DefaultFolder
  lstr 'readme.txt'                              # ReadmeName
  le 1 1                                         # ShowReadme
  lstr 'bg\title.rxa'                            # BackgroundPicture
  le 1 1                                         # BackgroundMode
  le 2 4                                         # DiscCount
  lstr 'yume.exe'                                # ExeName
  le 12345 4                                     # PictureKey
  le 1 1                                         # OfferRuntimes
  le 0 1                                         # ReservedFlag
  lstr 'ＣＤ－ＲＯＭ'                               # MediaName
  lstr '\ソフトハウス\夢の続き'                       # RegistryKey
  # from version 100 on sizes are 64-bit: the movies of disc 2 grow past 4 GiB
  local movie=$((version >= 100 ? 4400000000 : 400000000))
  size 1048576; size 300000000; size 150000000; size 0        # disc 1
  size 0; size 200000000; size 100000000; size "$movie"       # disc 2
  size 1048576; size 500000000; size 250000000; size "$movie" # totals
  le 0 1                                         # Installed
  if ((version >= 101)); then le 0 1; fi         # UpdateMode
  if ((version >= 102)); then le 0 4; fi         # InstalledFiles: none yet
  if ((version >= 103)); then le 0 1; fi         # DataInstalled
  if ((version >= 104)); then le 1 1; fi         # InstallType: complete
  if ((version >= 105)); then le 0 1; fi         # SeparateFiles
  if ((version >= 106)); then
    le 2 4; lstr 'directx\dxsetup.exe'; lstr 'readme.txt'  # DiscFiles
  fi
}

for version in 0 99 100 104 106; do
  mkdir -p "$root/discs/v$version"
  old_settings "$version" >"$root/discs/v$version/install.dat"
done

# --- The current version, from JSON ----------------------------------------------------------

mkdir -p "$root/discs/v108"
cat >"$root/discs/v108/settings.json" <<'JSON'
{
  "Title": "夢の続き",
  "FooterText": "(C) 2003 ソフトハウス表",
  "DefaultFolder": "<ProgramFiles>\\ソフトハウス\\夢の続き",
  "ReadmeName": "readme.txt",
  "ShowReadme": true,
  "BackgroundPicture": "bg\\title.rxa",
  "BackgroundMode": 1,
  "ExeName": "yume.exe",
  "PictureKey": 12345,
  "OfferRuntimes": true,
  "MediaName": "ＤＶＤ－ＲＯＭ",
  "RegistryKey": "\\ソフトハウス\\夢の続き",
  "DiscProgSize": [1048576, 0],
  "DiscDataSize": [3000000000, 2500000000],
  "DiscSoundSize": [150000000, 100000000],
  "DiscMovieSize": [0, 4000000000],
  "ProgSize": 1048576,
  "DataSize": 5500000000,
  "SoundSize": 250000000,
  "MovieSize": 4000000000,
  "InstallType": 0,
  "DiscFiles": ["directx\\dxsetup.exe", "readme.txt"],
  "HelloText": "「夢の続き」のセットアップへようこそ。\r\nインストールを始めます。",
  "LicenseText": "使用許諾契約書\r\n本ソフトウェアの著作権はソフトハウス表に帰属します。"
}
JSON
"$vnkit" settings build "$root/discs/v108/settings.json" -o "$root/discs/v108/install.dat"

for version in 0 99 100 104 106 108; do
  echo "=== vnkit settings show discs/v$version/install.dat"
  (cd "$root" && "$vnkit" settings show "discs/v$version/install.dat")
  echo
done

# show --json and build give back the same bytes
"$vnkit" settings show "$root/discs/v108/install.dat" --json >"$root/roundtrip.json"
"$vnkit" settings build "$root/roundtrip.json" -o "$root/roundtrip.dat"
cmp "$root/discs/v108/install.dat" "$root/roundtrip.dat"
echo "=== show --json | build: byte-identical ($(wc -c <"$root/roundtrip.dat") bytes)"

# a damaged copy is refused with the file and the fault named
head -c 60 "$root/discs/v108/install.dat" >"$root/damaged.dat"
echo "=== a truncated copy:"
status=0
(cd "$root" && "$vnkit" settings show damaged.dat) || status=$?
if [ "$status" -ne 2 ]; then
  echo "demo: a damaged file gave exit status $status instead of 2" >&2
  exit 1
fi
echo
echo "demo: files under $root/discs"
