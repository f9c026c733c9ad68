#!/usr/bin/env bash
# The demo, run by `make demo` with the build folder as argument: builds the two-disc sample game
# (samples/disc_set.json) under BUILD/demo, with HOME and XDG_* pointed into BUILD/demo; installs it
# from both discs without a window (vnsetup --unattended), shows what the installation holds, and
# uninstalls it again. Then it starts the launcher on disc 1: with a display the real start menu
# opens; without one the start menu and the main window are drawn on Qt's offscreen platform and
# saved as pictures.
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

# The installation as the desktop sees it: the game's menu entries and the registry store's key.
show_desktop() {
  local entries=("$XDG_DATA_HOME"/applications/*/*.desktop)
  echo "--- desktop entries (\$XDG_DATA_HOME/applications)"
  if [ -e "${entries[0]}" ]; then
    for entry in "${entries[@]}"; do
      echo "  ${entry#"$XDG_DATA_HOME/applications/"}: $(grep -m1 '^Exec=' "$entry" | sed "s|$HOME|~|g")"
    done
  else
    echo "  (none)"
  fi
  echo "--- registry store (\$XDG_CONFIG_HOME/vnsetup/registry.ini)"
  grep -e '^\[' -e 'InstallPath' "$XDG_CONFIG_HOME/vnsetup/registry.ini" 2>/dev/null | sed -e "s|$HOME|~|g" -e 's/^/  /' ||
    echo "  (no store)"
}

# The headless run needs no display, so none is offered to it (its messages are shown with ~ for
# the demo's home folder). The folder is named because the wizard would propose /opt for root; for a
# user it proposes this very folder.
game="$HOME/Games/ソフトハウス湖月/星降る湖"
echo "=== disc1/install.exe --unattended --accept-license --folder ~/Games/ソフトハウス湖月/星降る湖"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$disc1/install.exe" --unattended --accept-license --folder "$game" 2>&1 | sed "s|$HOME|~|g"
echo
echo "=== installed: ~/Games/ソフトハウス湖月/星降る湖"
(cd "$game" && find . -type f -printf '%10s  %P\n' | sort -k2)
echo "--- vnkit verify game.dat"
"$vnkit" verify "$game/game.dat" 2>&1 | sed "s|$game/|  |"
echo "--- vnkit settings show install.dat (Installed, InstalledFiles)"
"$vnkit" settings show "$game/install.dat" |
  awk '/^[^ ]/ { shown = ($1 == "Title" || $1 == "Installed" || $1 == "InstalledFiles") } shown' | sed 's/^/  /'
show_desktop
echo

echo "=== ~/Games/ソフトハウス湖月/星降る湖/install.exe --unattended: the uninstaller, run from the installation"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$game/install.exe" --unattended 2>&1 | sed "s|$HOME|~|g"
echo
echo "=== after the uninstall"
echo "--- ~/Games"
(cd "$HOME" && find Games | sed 's/^/  /')
show_desktop
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
