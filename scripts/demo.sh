#!/usr/bin/env bash
# The demo, run by `make demo` with the build folder as argument: builds the two-disc sample game
# (samples/disc_set.json) under BUILD/demo and starts the launcher on disc 1, with HOME and XDG_*
# pointed into BUILD/demo. With a display the real start menu opens; without one the start menu and
# the main window are drawn on Qt's offscreen platform and saved as pictures.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
vnkit="$build/tools/vnkit/vnkit"
vnsetup="$build/app/vnsetup"
for program in "$vnkit" "$vnsetup"; do
  if [ ! -x "$program" ]; then
    echo "demo: $program is missing (run: make demo; vnsetup needs Qt 6)" >&2
    exit 2
  fi
done

root="$build/demo"
rm -rf "$root"
mkdir -p "$root/home" "$root/run" "$root/tmp"
chmod 700 "$root/run"
export HOME="$root/home" TMPDIR="$root/tmp" XDG_RUNTIME_DIR="$root/run"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"

echo "=== vnkit disc build samples/disc_set.json -o demo/discs"
"$vnkit" disc build "$source_dir/samples/disc_set.json" -o "$root/discs" --launcher "$vnsetup"
disc1="$root/discs/disc1"
echo
echo "=== disc 1:"
(cd "$disc1" && find . -type f | sort | sed 's|^\./|  |')
echo
echo "=== vnkit list disc1/game.dat"
"$vnkit" list "$disc1/game.dat"
echo
echo "=== vnkit settings show disc1/install.dat (first lines)"
"$vnkit" settings show "$disc1/install.dat" | sed -n '1,/^OfferRuntimes/p'
echo

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "=== starting $disc1/install.exe"
  exec "$disc1/install.exe"
fi

echo "=== no display: the windows are drawn offscreen"
export QT_QPA_PLATFORM=offscreen
menu=$(VNSETUP_SCREENSHOT="$root/start_menu.png" "$disc1/install.exe")
echo "start menu:  $menu"
# With the disc folder as argument the launcher runs as the installer: the main window.
main=$(VNSETUP_SCREENSHOT="$root/main_window.png" "$disc1/install.exe" "$disc1/")
echo "main window: $main"
